// A settings save that is cut off at any moment (the process killed between any two of its
// system calls) leaves the old file or the new one, byte for byte, never a mix and never a
// part. A child saves two different contents in turn, without a pause; the parent kills it
// with SIGKILL after a random delay, many times, and looks at the file after each kill.
#include "bus/SettingsFile.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Two contents of different lengths that differ in every byte, so that any mix of them, any
// prefix of one and any empty or short file is neither.
std::string Content(char fill, std::size_t size) {
    std::string text(size, fill);
    for (std::size_t i = 0; i < size; i += 97)
        text[i] = '\n';
    return text;
}

class SettingsSaveKillTest : public ::testing::Test {
protected:
    std::filesystem::path Folder;
    std::filesystem::path File;

    void SetUp() override {
        std::string pattern = "/tmp/morvelplint-savekill-XXXXXX";
        Folder = ::mkdtemp(pattern.data());
        File = Folder / "Morvelplint.ini";
    }
    void TearDown() override { std::filesystem::remove_all(Folder); }

    // The temporary files a killed save left behind.
    std::vector<std::filesystem::path> Leftovers() const {
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(Folder))
            if (entry.path() != File)
                found.push_back(entry.path());
        return found;
    }
};

} // namespace

TEST_F(SettingsSaveKillTest, KilledAtAnyMomentLeavesTheOldFileOrTheNewOne) {
    const std::string older = Content('A', 300 * 1024);
    const std::string newer = Content('B', 200 * 1024 + 7);
    std::string error;
    ASSERT_TRUE(bus::ReplaceFile(File.string(), older, error)) << error;

    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> delayUs(0, 4000);
    int killedMidSave = 0;
    int sawOlder = 0;
    int sawNewer = 0;
    constexpr int Rounds = 150;
    for (int round = 0; round < Rounds; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Saves for ever, the two contents in turn, each save complete before the next.
            std::string childError;
            for (bool next = true;; next = !next)
                if (!bus::ReplaceFile(File.string(), next ? newer : older, childError))
                    ::_exit(3);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;

        const std::string now = ReadAll(File);
        ASSERT_TRUE(now == older || now == newer)
            << "round " << round << ": " << now.size() << " bytes, neither old nor new";
        (now == older ? sawOlder : sawNewer)++;
        std::string read;
        ASSERT_TRUE(bus::ReadFileText(File.string(), read));
        ASSERT_EQ(read, now) << "the reader takes the file, not a temporary one";

        const auto leftovers = Leftovers();
        ASSERT_LE(leftovers.size(), 1u) << "one save at a time";
        for (const auto& leftover : leftovers) {
            // A killed save's temporary file: hidden, named after the file, and never the file.
            EXPECT_EQ(leftover.filename().string().rfind(".Morvelplint.ini.", 0), 0u) << leftover;
            ++killedMidSave;
            std::filesystem::remove(leftover);
        }
    }
    // The kills landed both inside a save and between saves, and after saves of both contents:
    // the proof covered the moments that matter.
    EXPECT_GT(killedMidSave, 0);
    EXPECT_GT(sawOlder, 0);
    EXPECT_GT(sawNewer, 0);
    std::cout << "kills inside a save: " << killedMidSave << " of " << Rounds
              << "; old file after: " << sawOlder << ", new file after: " << sawNewer << "\n";
}

TEST_F(SettingsSaveKillTest, KilledBeforeTheFirstSaveLeavesNoFileOrTheWholeOne) {
    const std::string first = Content('C', 256 * 1024);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> delayUs(0, 1500);
    for (int round = 0; round < 60; ++round) {
        std::filesystem::remove(File);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::string childError;
            bus::ReplaceFile(File.string(), first, childError);
            ::pause(); // stays until killed, so every end is a kill
            ::_exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (std::filesystem::exists(File)) {
            ASSERT_EQ(ReadAll(File), first) << "round " << round;
        }
        for (const auto& leftover : Leftovers())
            std::filesystem::remove(leftover);
    }
}
