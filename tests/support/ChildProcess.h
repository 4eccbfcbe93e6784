#pragma once
// A program of this project run as a child process by a test: its standard input and output on
// pipes (or its output to files), its environment and folder of the test's choosing, and its end
// waited for with a bound. Destroying it kills what is still running.
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

class TChildProcess {
public:
    struct TOptions {
        // "NAME=value" entries added to (or replacing those of) the test's environment.
        std::vector<std::string> Environment;
        std::string WorkingDirectory;
        // Files for standard output and standard error instead of pipes: a program that writes
        // much must never block on a pipe nobody reads.
        std::string OutputFile;
        std::string ErrorFile;
    };

    TChildProcess(const std::string& program, std::vector<std::string> arguments,
                  const TOptions& options = {}) {
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
            ::pipe2(err, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        if (options.OutputFile.empty())
            posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        else
            posix_spawn_file_actions_addopen(&actions, 1, options.OutputFile.c_str(),
                                             O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (options.ErrorFile.empty())
            posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        else
            posix_spawn_file_actions_addopen(&actions, 2, options.ErrorFile.c_str(),
                                             O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (!options.WorkingDirectory.empty())
            posix_spawn_file_actions_addchdir_np(&actions, options.WorkingDirectory.c_str());
        arguments.insert(arguments.begin(), program);
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        std::vector<std::string> environment = Merged(options.Environment);
        std::vector<char*> envp;
        for (std::string& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        input_ = in[1];
        output_ = out[0];
        errors_ = err[0];
    }
    ~TChildProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : {input_, output_, errors_})
            if (fd >= 0)
                ::close(fd);
    }
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    bool Running() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    void CloseInput() {
        ::close(input_);
        input_ = -1;
    }
    void Send(const std::string& line) const {
        [[maybe_unused]] const ssize_t n = ::write(input_, line.data(), line.size());
    }
    std::string OutputLine(int timeoutMs = 5000) {
        return ReadLine(output_, outBuffer_, timeoutMs);
    }
    std::string ErrorLine(int timeoutMs = 5000) { return ReadLine(errors_, errBuffer_, timeoutMs); }

    bool Signal(int signal) const { return pid_ > 0 && ::kill(pid_, signal) == 0; }
    // Waits for the end; the exit code (128 + the signal for one that ended it), or -1 when it
    // did not end within the bound.
    int WaitForExit(std::chrono::milliseconds bound) {
        const auto end = std::chrono::steady_clock::now() + bound;
        do {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (std::chrono::steady_clock::now() < end);
        return -1;
    }
    // Signals the process and waits up to 3 s for it; as WaitForExit.
    int Stop(int signal) {
        if (signal != 0)
            ::kill(pid_, signal);
        return WaitForExit(std::chrono::seconds(3));
    }

private:
    static std::vector<std::string> Merged(const std::vector<std::string>& added) {
        std::vector<std::string> environment;
        for (char** entry = environ; *entry; ++entry) {
            const std::string text = *entry;
            const std::string name = text.substr(0, text.find('='));
            bool replaced = false;
            for (const std::string& add : added)
                replaced = replaced || add.substr(0, add.find('=')) == name;
            if (!replaced)
                environment.push_back(text);
        }
        environment.insert(environment.end(), added.begin(), added.end());
        return environment;
    }

    static std::string ReadLine(int fd, std::string& buffer, int timeoutMs) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const std::size_t end = buffer.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer.substr(0, end);
                buffer.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd entry{fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0)
                return "<timeout>";
            char chunk[256];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                return "<eof>";
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    pid_t pid_ = -1;
    int input_ = -1, output_ = -1, errors_ = -1;
    std::string outBuffer_, errBuffer_;
};
