#include "sim/SimPortServer.h"
#include "sim/PtyClient.h"
#include "sim/SimJournal.h"
#include "sim/SimMFC.h"
#include "sim/SimPump.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "orvello-sim-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::unique_ptr<TSimPortServer> PluggedPump(const std::string& link = "",
                                            TSimJournal* journal = nullptr) {
    auto server =
        std::make_unique<TSimPortServer>("COM5", std::make_unique<TSimPump>(), 1.0, journal);
    std::string error;
    EXPECT_TRUE(server->Plug(link, error)) << error;
    return server;
}

} // namespace

TEST(SimPortServer, SilentHearsButDoesNotAnswer) {
    TempFolder folder;
    TSimJournal journal;
    std::string error;
    ASSERT_TRUE(journal.Open(folder.Path() + "/journal.txt", error));
    auto server = PluggedPump("", &journal);
    server->SetSilent(true);
    EXPECT_EQ(ExchangeOnce(server->SlavePath(), "/1Q\r", 300).value_or("?"), "");
    server->SetSilent(false);
    EXPECT_EQ(Trimmed(ExchangeOnce(server->SlavePath(), "/1Q\r").value_or("")), "/0`");
    const std::string text = ReadFile(folder.Path() + "/journal.txt");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    EXPECT_NE(text.find(" COM5 /1Q\\r\n"), std::string::npos) << text;
}

TEST(SimPortServer, SlowAnswersLate) {
    auto server = PluggedPump();
    server->SetSlowMs(400);
    TPtyClient client(server->SlavePath());
    ASSERT_TRUE(client.IsOpen());
    const auto start = Clock::now();
    ASSERT_TRUE(client.Write("/1Q\r"));
    const std::string reply = client.Read(2000);
    const auto waited = Clock::now() - start;
    EXPECT_EQ(Trimmed(reply), "/0`");
    EXPECT_GE(waited, std::chrono::milliseconds(380));
    EXPECT_LT(waited, std::chrono::milliseconds(1500));
}

TEST(SimPortServer, GarbledRepliesDifferFromTheTrueOnes) {
    auto server = PluggedPump();
    const std::string clean = ExchangeOnce(server->SlavePath(), "/1?22\r").value_or("");
    ASSERT_EQ(Trimmed(clean), "/0`255");
    server->SetGarble(true);
    for (int i = 0; i < 5; ++i) {
        const std::string garbled = ExchangeOnce(server->SlavePath(), "/1?22\r").value_or("");
        EXPECT_NE(garbled, clean);
        EXPECT_FALSE(garbled.empty());
    }
}

TEST(SimPortServer, UnplugDropsTheClientAndTheLinkReplugPublishesAgain) {
    TempFolder folder;
    const std::string link = folder.Path() + "/COM3";
    TSimMFCOptions options;
    options.NoiseFraction = 0;
    TSimPortServer server("COM3", std::make_unique<TSimMFC>(options));
    std::string error;
    ASSERT_TRUE(server.Plug(link, error)) << error;
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link).string(), server.SlavePath());
    ASSERT_FALSE(ExchangeOnce(link, "ADCU 37 62\r").value_or("").empty());
    ASSERT_FALSE(ExchangeOnce(link, "A32000\r").value_or("").empty());

    TPtyClient holder(link);
    ASSERT_TRUE(holder.IsOpen());
    server.Unplug();
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    // The client that still holds the port sees it gone: end of file or an error.
    pollfd entry{holder.Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&entry, 1, 1000), 1);
    char byte;
    EXPECT_LE(::read(holder.Fd(), &byte, 1), 0);
    EXPECT_FALSE(ExchangeOnce(link, "A\r").has_value());

    ASSERT_TRUE(server.Plug(link, error)) << error;
    const std::string status = Trimmed(ExchangeOnce(link, "A\r").value_or(""));
    EXPECT_NE(status.find("+32000"), std::string::npos) << "the instrument kept its setpoint";
    EXPECT_EQ(server.State().Setpoint, "32000");
}

// Noise, overlong lines and binary bytes from the line never stop an instrument from serving.
TEST(SimPortServer, KeepsServingThroughBadInput) {
    TempFolder folder;
    TSimJournal journal;
    std::string error;
    ASSERT_TRUE(journal.Open(folder.Path() + "/journal.txt", error));
    TSimPortServer server("COM3", std::make_unique<TSimMFC>(), 1.0, &journal);
    ASSERT_TRUE(server.Plug("", error)) << error;

    TPtyClient client(server.SlavePath());
    ASSERT_TRUE(client.IsOpen());
    std::string noise;
    for (int i = 0; i < 2000; ++i) {
        noise += static_cast<char>((i * 37 + 11) % 256);
    }
    ASSERT_TRUE(client.Write(noise + "\r"));
    ASSERT_TRUE(client.Write(std::string(1000, 'A') + "\r"));
    client.Read(300); // whatever the noise earned
    EXPECT_NE(client.Exchange("A??M5\r").find("183301"), std::string::npos);

    const std::string text = ReadFile(folder.Path() + "/journal.txt");
    EXPECT_NE(text.find("(overlong line of 1000 bytes, ignored)"), std::string::npos);
    EXPECT_NE(text.find(" COM3 A??M5\\r\n"), std::string::npos);
    EXPECT_NE(text.find("\\x00"), std::string::npos) << "binary bytes are escaped";
}

// A reply that comes due after the client has closed the port must not greet the next client.
TEST(SimPortServer, LateRepliesDoNotReachTheNextClient) {
    auto server = PluggedPump();
    for (const int slowMs : {0, 150}) {
        server->SetSlowMs(slowMs);
        {
            // Sends without waiting for the reply and closes at once.
            TPtyClient early(server->SlavePath());
            ASSERT_TRUE(early.Write("/1?22\r"));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    server->SetSlowMs(0);
    EXPECT_EQ(Trimmed(ExchangeOnce(server->SlavePath(), "/1Q\r").value_or("")), "/0`");
}
