#pragma once
// Debian's mosquitto broker, started by a test on a free port of the loopback address with a
// configuration of its own in a private folder: anonymous or with a password file, plain or with
// a self-signed certificate made here with openssl. The test can stop it and start it again on
// the same port, freeze it (SIGSTOP: the kernel still accepts connections, the broker never
// answers) and thaw it. No Qt, so that the telemetry's tests under ThreadSanitizer use it too.
//
// The paths of mosquitto, mosquitto_passwd and openssl come from the build
// (ORVELLO_MOSQUITTO_PATH and the others).
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

// Runs a program to its end with its output in a file; its exit code, or -1.
inline int RunProgram(const std::vector<std::string>& arguments, const std::string& output) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A port of 127.0.0.1 that nothing listens on at this moment.
inline int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

// True when a TCP connection to 127.0.0.1:port is accepted.
inline bool LoopbackPortAccepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return accepted;
}

struct TMosquittoBrokerOptions {
    bool Tls = false;
    // With a user, anonymous clients are refused.
    std::string User;
    std::string Password;
};

class TMosquittoBroker {
public:
    using TOptions = TMosquittoBrokerOptions;

    explicit TMosquittoBroker(TOptions options = {}) : options_(std::move(options)) {
        char pattern[] = "/tmp/orvello-broker-XXXXXX";
        if (::mkdtemp(pattern))
            folder_ = pattern;
    }
    ~TMosquittoBroker() {
        Kill();
        if (!folder_.empty())
            RunProgram({"/bin/rm", "-rf", folder_}, "/dev/null");
    }
    TMosquittoBroker(const TMosquittoBroker&) = delete;
    TMosquittoBroker& operator=(const TMosquittoBroker&) = delete;

    // Starts the broker: on a free port the first time, on the same port later. False, with the
    // reason in error, when it does not listen within 20 s.
    bool Start(std::string& error) {
        if (folder_.empty()) {
            error = "no private folder for the broker";
            return false;
        }
        if (!prepared_ && !Prepare(error))
            return false;
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (port_ == 0 || (attempt > 0 && !started_))
                port_ = FreeLoopbackPort();
            WriteConfiguration();
            if (Spawn(error) && WaitListening(error)) {
                started_ = true;
                return true;
            }
            Kill();
            // Taken by someone else since it was found free: another port, unless this broker
            // has clients that expect this one.
            if (started_)
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        error += "; log:\n" + Log();
        return false;
    }

    // SIGTERM, as a service manager stops it, and waits for its end.
    void Stop() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGCONT);
        ::kill(pid_, SIGTERM);
        Reap();
    }
    void Kill() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        Reap();
    }
    void Freeze() { ::kill(pid_, SIGSTOP); }
    void Thaw() { ::kill(pid_, SIGCONT); }

    int Port() const { return port_; }
    std::string Url() const {
        return std::string(options_.Tls ? "mqtts" : "mqtt") +
               "://127.0.0.1:" + std::to_string(port_);
    }
    const std::string& Folder() const { return folder_; }
    // The certificate that a client must trust for a TLS broker; it names 127.0.0.1 only.
    std::string Certificate() const { return folder_ + "/broker-cert.pem"; }
    std::string Log() const {
        std::ifstream in(folder_ + "/mosquitto.log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    bool Prepare(std::string& error) {
        if (options_.Tls &&
            RunProgram({ORVELLO_OPENSSL_PATH, "req", "-x509", "-newkey", "ec", "-pkeyopt",
                        "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                        folder_ + "/broker-key.pem", "-out", Certificate(), "-days", "2", "-subj",
                        "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"},
                       folder_ + "/openssl.log") != 0) {
            error = "openssl could not make a certificate";
            return false;
        }
        if (!options_.User.empty() &&
            RunProgram({ORVELLO_MOSQUITTO_PASSWD_PATH, "-b", "-c", folder_ + "/passwords",
                        options_.User, options_.Password},
                       folder_ + "/passwd.log") != 0) {
            error = "mosquitto_passwd could not write the password file";
            return false;
        }
        prepared_ = true;
        return true;
    }

    void WriteConfiguration() const {
        std::ofstream config(folder_ + "/mosquitto.conf", std::ios::trunc);
        // Run as root (as CI is), mosquitto would become the user "mosquitto", who cannot read
        // this private folder: it stays who started it.
        if (const passwd* user = ::getpwuid(::geteuid()))
            config << "user " << user->pw_name << "\n";
        config << "listener " << port_ << " 127.0.0.1\n";
        // As a lab's broker keeps them: retained messages and the sessions of watchers that
        // asked to be remembered survive a restart, with what arrived for them meanwhile.
        config << "persistence true\n";
        config << "persistence_location " << folder_ << "/\n";
        config << "queue_qos0_messages true\n";
        config << "log_dest file " << folder_ << "/mosquitto.log\n";
        config << "log_type all\n";
        if (options_.User.empty()) {
            config << "allow_anonymous true\n";
        } else {
            config << "allow_anonymous false\n";
            config << "password_file " << folder_ << "/passwords\n";
        }
        if (options_.Tls) {
            config << "certfile " << Certificate() << "\n";
            config << "keyfile " << folder_ << "/broker-key.pem\n";
        }
    }

    bool Spawn(std::string& error) {
        const std::string config = folder_ + "/mosquitto.conf";
        const std::string output = folder_ + "/mosquitto.out";
        std::vector<char*> argv{const_cast<char*>(ORVELLO_MOSQUITTO_PATH), const_cast<char*>("-c"),
                                const_cast<char*>(config.c_str()), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = -1;
            error = std::string("mosquitto cannot be started: ") + std::strerror(rc);
            return false;
        }
        return true;
    }

    bool WaitListening(std::string& error) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                error = "mosquitto ended at once";
                return false;
            }
            if (LoopbackPortAccepts(port_))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        error = "mosquitto does not listen on port " + std::to_string(port_);
        return false;
    }

    void Reap() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }

    TOptions options_;
    std::string folder_;
    pid_t pid_ = -1;
    int port_ = 0;
    bool prepared_ = false;
    bool started_ = false;
};
