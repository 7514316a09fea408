// The real program, started offscreen in a folder of its own, with the test as the serial
// card on the far end of a pseudo-terminal.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

class TProgram {
public:
    TProgram(const std::filesystem::path& folder, std::vector<std::string> arguments) {
        mPid = ::fork();
        if (mPid == 0) {
            if (::chdir(folder.c_str()) != 0)
                ::_exit(127);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 2);
            // In a cross build through the emulator, as ctest runs this test.
            std::vector<char*> argv;
            if (*MORVELPLINT_EMULATOR)
                argv.push_back(const_cast<char*>(MORVELPLINT_EMULATOR));
            argv.push_back(const_cast<char*>(MORVELPLINT_BINARY));
            for (auto& argument : arguments)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~TProgram() {
        if (mPid > 0) {
            ::kill(mPid, SIGKILL);
            ::waitpid(mPid, nullptr, 0);
        }
    }
    bool Running() const { return mPid > 0 && ::waitpid(mPid, nullptr, WNOHANG) == 0; }
    pid_t Pid() const { return mPid; }

private:
    pid_t mPid = -1;
};

// The card's end of the line.
class TCardEnd {
public:
    TCardEnd() {
        Master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(Master);
        ::unlockpt(Master);
        SlavePath = ::ptsname(Master);
        // Keep the slave open on our side too, so that the line does not hang up before the
        // program opens it; the master then also sees the program's line settings.
        mSlave = ::open(SlavePath.c_str(), O_RDWR | O_NOCTTY);
        termios raw{};
        ::tcgetattr(mSlave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(mSlave, TCSANOW, &raw);
    }
    ~TCardEnd() {
        ::close(mSlave);
        ::close(Master);
    }

    // The next byte from the program, or -1 after `ms` without one.
    int Read(int ms) {
        pollfd fd{Master, POLLIN, 0};
        if (::poll(&fd, 1, ms) <= 0 || !(fd.revents & POLLIN))
            return -1;
        unsigned char byte = 0;
        return ::read(Master, &byte, 1) == 1 ? byte : -1;
    }
    void Write(int byte) {
        const unsigned char value = static_cast<unsigned char>(byte);
        ASSERT_EQ(::write(Master, &value, 1), 1);
    }

    int Master = -1;
    std::string SlavePath;

private:
    int mSlave = -1;
};

// What a task's status file says of its privileges; the capability sets as bit masks.
struct TPrivileges {
    std::uint64_t Effective = 0;
    std::uint64_t Permitted = 0;
    std::uint64_t Inheritable = 0;
    std::uint64_t Bounding = 0;
    std::uint64_t Ambient = 0;
    int NoNewPrivs = -1;
    int Threads = 0;
};

TPrivileges ReadStatus(const std::filesystem::path& status) {
    TPrivileges seen;
    std::ifstream file(status);
    std::string line;
    while (std::getline(file, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string key = line.substr(0, colon);
        const std::string value = line.substr(colon + 1);
        if (key == "CapEff")
            seen.Effective = std::stoull(value, nullptr, 16);
        else if (key == "CapPrm")
            seen.Permitted = std::stoull(value, nullptr, 16);
        else if (key == "CapInh")
            seen.Inheritable = std::stoull(value, nullptr, 16);
        else if (key == "CapBnd")
            seen.Bounding = std::stoull(value, nullptr, 16);
        else if (key == "CapAmb")
            seen.Ambient = std::stoull(value, nullptr, 16);
        else if (key == "NoNewPrivs")
            seen.NoNewPrivs = std::stoi(value);
        else if (key == "Threads")
            seen.Threads = std::stoi(value);
    }
    return seen;
}

class ProgramTest : public ::testing::Test {
protected:
    std::filesystem::path Folder;
    TCardEnd Card;

    void SetUp() override {
        char pattern[] = "/tmp/morvelplint-e2e-XXXXXX";
        Folder = ::mkdtemp(pattern);
        std::ofstream(Folder / "Morvelplint.ini", std::ios::binary)
            << "[ZELM]\r\nMethode= Serieel\r\nPoort= " << Card.SlavePath
            << "\r\nStop= True\r\nTimeout= True\r\nKortsluit= True\r\nBaudrate= 9600\r\n"
               "Test= False\r\nTijd= 400\r\n\r\n";
    }
    void TearDown() override { std::filesystem::remove_all(Folder); }
};

} // namespace

TEST_F(ProgramTest, SetUpHandshakesAtTheFilesOptionsAndSendsTheSequence) {
    TProgram program(Folder, {});
    const int option = Card.Read(15000);
    ASSERT_EQ(option, 0x07) << "stop, time-out and short-circuit reporting on, 9600 baud";

    termios line{};
    ASSERT_EQ(::tcgetattr(Card.Master, &line), 0);
    EXPECT_EQ(::cfgetospeed(&line), B9600);
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(line.c_cflag & PARENB);
    EXPECT_FALSE(line.c_cflag & CSTOPB);
    EXPECT_FALSE(line.c_cflag & CRTSCTS);
    EXPECT_FALSE(line.c_iflag & (IXON | IXOFF));

    Card.Write(option);
    std::vector<int> words;
    for (int i = 0; i < 192; ++i) {
        const int word = Card.Read(5000);
        ASSERT_GE(word, 0) << "word " << i << " missing";
        words.push_back(word);
        const int selectCode = word >> 5;
        Card.Write(selectCode == 2 || selectCode == 3 ? 64 + (word & 32) : word);
    }
    for (int place = 0; place < 64; ++place) {
        EXPECT_EQ(words[3 * place], 128 + place);
        EXPECT_EQ(words[3 * place + 1], 96);
        EXPECT_EQ(words[3 * place + 2], 64);
    }
    EXPECT_EQ(Card.Read(500), -1) << "nothing after the sequence";
    EXPECT_TRUE(program.Running());
}

TEST_F(ProgramTest, CardThatNeverEchoesGetsNoBusWordsAndTheProgramGoesOn) {
    TProgram program(Folder, {});
    ASSERT_EQ(Card.Read(15000), 0x07);
    EXPECT_EQ(Card.Read(3000), -1) << "no bus word without an echo";
    EXPECT_TRUE(program.Running());
}

TEST_F(ProgramTest, RunsWithoutRawIoAndCannotGainPrivilegesBack) {
    TProgram program(Folder, {"/sim"});
    const std::filesystem::path proc = "/proc/" + std::to_string(program.Pid());
    // The worker and the simulated serial card's thread are made after the drop; once they
    // run, every thread shows what the program kept.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (ReadStatus(proc / "status").Threads < 3 && program.Running() &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(program.Running());
    ASSERT_GE(ReadStatus(proc / "status").Threads, 3);

    constexpr std::uint64_t rawIo = std::uint64_t{1} << 17;  // CAP_SYS_RAWIO
    constexpr std::uint64_t setPcap = std::uint64_t{1} << 8; // CAP_SETPCAP
    const TPrivileges own = ReadStatus("/proc/self/status");
    // Root's program starts with every capability its bounding set allows and keeps all but
    // CAP_SYS_RAWIO, which it also takes out of that set; anyone else's program keeps what the
    // ambient set hands on, less CAP_SYS_RAWIO.
    const bool root = ::getuid() == 0;
    const std::uint64_t kept = (root ? own.Bounding | own.Inheritable : own.Ambient) & ~rawIo;
    const std::uint64_t inheritable = (root ? own.Inheritable : own.Ambient) & ~rawIo;
    const std::uint64_t bounding =
        root && (own.Bounding & setPcap) != 0 ? own.Bounding & ~rawIo : own.Bounding;

    std::vector<std::filesystem::path> statuses{proc / "status"};
    // Under qemu-user (a cross build's tests) the process also holds the emulator's own
    // thread, made before the program's main and never told of the drop: only the program's
    // main thread can be checked there.
    const bool emulated = *MORVELPLINT_EMULATOR != '\0';
    if (!emulated) {
        for (const auto& task : std::filesystem::directory_iterator(proc / "task"))
            statuses.push_back(task.path() / "status");
        ASSERT_GE(statuses.size(), 4u);
    }
    for (const auto& status : statuses) {
        SCOPED_TRACE(status.string());
        const TPrivileges seen = ReadStatus(status);
        EXPECT_EQ(seen.Effective, kept);
        EXPECT_EQ(seen.Permitted, kept);
        EXPECT_EQ(seen.Inheritable, inheritable);
        EXPECT_EQ(seen.Bounding, bounding);
        EXPECT_EQ(seen.NoNewPrivs, 1);
    }
    if (emulated)
        GTEST_SKIP() << "under qemu-user only the main thread was checked: capabilities belong "
                        "to each thread, and the emulator's own thread keeps what the program "
                        "gave up";
}
