// A settings save that is cut off at any moment (the process killed between any two of its
// system calls) leaves the old file or the new one, byte for byte, never a mix and never a
// part. A child saves two different contents in turn, without a pause; the parent kills it
// with SIGKILL after a random delay, many times, and looks at the file after each kill.
#include "settings/SettingsFile.h"

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
#include <vector>
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
    const std::string contentA = Content('A', 300 * 1024);
    const std::string contentB = Content('B', 200 * 1024 + 7);
    std::string error;
    ASSERT_TRUE(bus::ReplaceFile(File.string(), contentA, error)) << error;

    // The kills are spread over a few saves' time as this machine's disk takes them, so that
    // they land before, inside and after the first save of each round whatever the disk.
    std::vector<long long> savesUs;
    for (int i = 0; i < 5; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        ASSERT_TRUE(bus::ReplaceFile(File.string(), i % 2 ? contentA : contentB, error)) << error;
        savesUs.push_back(std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - begin)
                              .count());
    }
    std::sort(savesUs.begin(), savesUs.end());
    // And as a child takes from its fork to the end of its first save: a fork costs far more
    // than a save under an emulator (qemu-user, the arm64 build's tests), and the kills must
    // also land after a child's first save.
    std::vector<long long> childSavesUs;
    for (int i = 0; i < 5; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::string childError;
            const bool saved =
                bus::ReplaceFile(File.string(), i % 2 ? contentA : contentB, childError);
            ::_exit(saved ? 0 : 3);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        childSavesUs.push_back(std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::steady_clock::now() - begin)
                                   .count());
    }
    std::sort(childSavesUs.begin(), childSavesUs.end());
    const int spreadUs = static_cast<int>(
        std::min<long long>(3 * std::max(savesUs[2], childSavesUs[2]) + 1000, 200000));

    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> delayUs(0, spreadUs);
    int killedMidSave = 0;
    int sawUnchanged = 0;
    int sawChanged = 0;
    int rounds = 0;
    // At least 150 kills; more while one of the moments that matter has not been met yet.
    for (; rounds < 150 || ((killedMidSave == 0 || sawUnchanged == 0 || sawChanged == 0) &&
                            rounds < 2000);
         ++rounds) {
        const std::string before = ReadAll(File);
        ASSERT_TRUE(before == contentA || before == contentB);
        const std::string& other = before == contentA ? contentB : contentA;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Saves for ever, first the content that is not in the file, then the two in turn,
            // each save complete before the next.
            std::string childError;
            for (bool next = true;; next = !next)
                if (!bus::ReplaceFile(File.string(), next ? other : before, childError))
                    ::_exit(3);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;

        const std::string now = ReadAll(File);
        ASSERT_TRUE(now == contentA || now == contentB)
            << "round " << rounds << ": " << now.size() << " bytes, neither old nor new";
        (now == before ? sawUnchanged : sawChanged)++;
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
    // The kills landed inside a save, before the first save of a round ended (the old file
    // stays) and after it (the new one is there): the proof covered the moments that matter.
    std::cout << "one save: " << savesUs[2] << " us, a child's fork and save: "
              << childSavesUs[2] << " us; kills inside a save: " << killedMidSave
              << " of " << rounds << "; old file after: " << sawUnchanged
              << ", new file after: " << sawChanged << "\n";
    EXPECT_GT(killedMidSave, 0);
    EXPECT_GT(sawUnchanged, 0);
    EXPECT_GT(sawChanged, 0);
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
