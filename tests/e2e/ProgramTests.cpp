// The real program, started offscreen in a folder of its own, with the test as the serial
// card on the far end of a pseudo-terminal.
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
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
            std::vector<char*> argv{const_cast<char*>(MORVELPLINT_BINARY)};
            for (auto& argument : arguments)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            ::execv(MORVELPLINT_BINARY, argv.data());
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
