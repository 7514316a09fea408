// The bus capture: pairing and the ring, the monitor's rows and filter, and the files it
// writes, the pcapng one read back by tshark with the program's own dissector.
#include "bus/BusWord.h"
#include "capture/Capture.h"
#include "capture/CaptureFiles.h"
#include "capture/CaptureRows.h"
#include "capture/CaptureStream.h"
#include "settings/SettingsFile.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

using bus::TCapture;
using bus::TDirection;
using bus::TEventKind;
using bus::TEventStatus;
using bus::TEventTransport;

namespace {

// A clock the test moves by hand; the capture starts at 2026-12-09T10:00:00Z.
std::int64_t gMonotonic = 0;
std::int64_t Monotonic() {
    return gMonotonic;
}
std::int64_t Wall() {
    return 1796810400LL * 1000000000LL;
}
constexpr bus::TCaptureClock HandClock{Monotonic, Wall};

// A known exchange at 19200 baud: the handshake, place 9 addressed and asked for its
// feedback, a word that got no reply, a note, and a word sent while not connected. `before`
// sees the capture before its first event.
std::unique_ptr<TCapture> KnownExchange(
    std::size_t capacity = 100, const std::function<void(TCapture&)>& before = {}) {
    gMonotonic = 5'000'000'000;
    auto capture = std::make_unique<TCapture>(capacity, HandClock);
    if (before)
        before(*capture);
    const auto at = [](std::int64_t us) { gMonotonic = 5'000'000'000 + us * 1000; };
    at(0);
    capture->RecordHandshake(TEventKind::OptionByte, 0x0A);
    at(1040);
    capture->RecordHandshake(TEventKind::OptionEcho, 0x0A);
    at(1100);
    capture->RecordHandshake(TEventKind::SpeedChange, 192);
    at(2000);
    capture->RecordWord(bus::AddressWord(9), TEventTransport::Serial, TEventStatus::Ok);
    at(3042);
    capture->RecordReply(0x89, TEventTransport::Serial, TEventStatus::Ok);
    at(4000);
    capture->RecordWord(bus::DataWord(0), TEventTransport::Serial, TEventStatus::Ok);
    at(5125);
    capture->RecordReply(0x5A, TEventTransport::Serial, TEventStatus::Ok);
    at(6000);
    capture->RecordWord(bus::DataWord(3), TEventTransport::Serial, TEventStatus::Ok);
    at(3'006'000);
    capture->RecordReply(0, TEventTransport::Serial, TEventStatus::NoReply);
    at(3'500'000);
    capture->AddNote("lok, op sectie 3");
    at(4'000'000);
    capture->RecordWord(0x8C, TEventTransport::Serial, TEventStatus::NotConnected);
    return capture;
}

std::string RunCommand(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        std::array<char, 4096> buffer{};
        std::size_t n = 0;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            output.append(buffer.data(), n);
        ::pclose(pipe);
    }
    return output;
}

} // namespace

TEST(Capture, RepliesPairWithTheirWordsAndAFullRingDropsTheOldest) {
    gMonotonic = 0;
    TCapture capture(6, HandClock);
    // The parallel transport answers its queued words in order.
    capture.RecordWord(0x89, TEventTransport::Parallel, TEventStatus::Ok);
    gMonotonic = 1000;
    capture.RecordWord(0x40, TEventTransport::Parallel, TEventStatus::Ok);
    gMonotonic = 2500;
    capture.RecordReply(0x89, TEventTransport::Parallel, TEventStatus::Ok);
    gMonotonic = 4000;
    capture.RecordReply(0x5A, TEventTransport::Parallel, TEventStatus::Ok);
    const bus::TCaptureEvent& echo = capture.At(2);
    EXPECT_EQ(echo.PairBack, 2u);
    EXPECT_EQ(echo.LatencyUs, 2u);
    const bus::TCaptureEvent& feedback = capture.At(3);
    EXPECT_EQ(feedback.PairBack, 2u);
    EXPECT_EQ(feedback.PairedWord, 0x40);
    EXPECT_EQ(feedback.LatencyUs, 3u);
    EXPECT_EQ(feedback.Place, 9) << "the place selected when its word went out";
    EXPECT_EQ(bus::EventMeaning(capture, 3), "terugmelding 1010, kortsluiting");
    EXPECT_EQ(bus::EventMeaning(capture, 0), "adres 9");

    // The serial card answers the latest word only.
    capture.RecordWord(0x8C, TEventTransport::Serial, TEventStatus::Ok);
    capture.RecordWord(0x40, TEventTransport::Serial, TEventStatus::Ok);
    capture.RecordReply(0x41, TEventTransport::Serial, TEventStatus::Ok);
    EXPECT_EQ(capture.At(6).PairBack, 1u);
    EXPECT_EQ(capture.At(6).Place, 12);

    EXPECT_EQ(capture.End(), 7u);
    EXPECT_EQ(capture.Begin(), 1u) << "six events fit";
    EXPECT_EQ(capture.Lost(), 1u);
    EXPECT_EQ(capture.Words(), 4u);
    EXPECT_EQ(capture.Replies(), 3u);

    // A reply whose word the ring has dropped stands alone.
    for (int i = 0; i < 6; ++i)
        capture.RecordWord(0x20 + i, TEventTransport::Parallel, TEventStatus::Ok);
    capture.RecordReply(0x20, TEventTransport::Parallel, TEventStatus::Ok);
    EXPECT_FALSE(capture.At(capture.End() - 1).Paired());
    EXPECT_EQ(capture.Lost(), 8u);
}

TEST(Capture, FilterHidesRowsButNeverDropsAnEvent) {
    const auto capture = KnownExchange();
    bus::TCaptureRows rows;
    rows.Update(*capture);
    ASSERT_EQ(rows.Rows().size(), 8u) << "three handshake steps, three exchanges, note, word";
    EXPECT_EQ(rows.Rows()[4].Event, 5u);
    EXPECT_EQ(rows.Rows()[4].Reply, 6u);

    bus::TCaptureFilter problems;
    problems.ProblemsOnly = true;
    rows.SetFilter(*capture, problems);
    ASSERT_EQ(rows.Rows().size(), 2u);
    EXPECT_EQ(rows.Rows()[0].Event, 7u) << "the word that got no reply";
    EXPECT_EQ(rows.Rows()[1].Event, 10u) << "the word sent while not connected";

    bus::TCaptureFilter place9;
    place9.Place = 9;
    place9.Other = false;
    rows.SetFilter(*capture, place9);
    EXPECT_EQ(rows.Rows().size(), 3u) << "its address word and the two data words";

    EXPECT_EQ(capture->End() - capture->Begin(), 11u) << "every event kept";
    const std::string csv = bus::CsvText(*capture, {});
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 8);

    // A reply that makes a hidden word a problem brings its row in.
    rows.SetFilter(*capture, problems);
    capture->RecordWord(0x40, TEventTransport::Serial, TEventStatus::Ok);
    EXPECT_EQ(rows.Update(*capture).Appended, 0u);
    capture->RecordReply(0, TEventTransport::Serial, TEventStatus::NoReply);
    rows.Update(*capture);
    ASSERT_EQ(rows.Rows().size(), 3u);
    EXPECT_EQ(rows.Rows()[2].Event, 11u);
}

// Rows made a few events at a time are the rows made at once, a reply taken in a later part
// than its word included, and nothing is shown as done until every event is in.
TEST(Capture, RowsMadeAPartAtATimeAreTheRowsMadeAtOnce) {
    const auto capture = KnownExchange();
    bus::TCaptureFilter place9;
    place9.Place = 9;
    bus::TCaptureRows whole;
    whole.SetFilter(*capture, place9);
    bus::TCaptureRows parts;
    parts.Refilter(place9);
    EXPECT_TRUE(parts.Behind(*capture));
    // Events 0-5: the word 0x40 (5) without its reply (6).
    parts.Update(*capture, 6);
    ASSERT_TRUE(parts.Behind(*capture));
    ASSERT_FALSE(parts.Rows().empty());
    EXPECT_FALSE(parts.Rows().back().HasReply());
    int updates = 1;
    for (; parts.Behind(*capture); ++updates)
        parts.Update(*capture, 2);
    EXPECT_EQ(updates, 4) << "11 events: 6, then 2, 2 and 1";
    ASSERT_EQ(parts.Rows().size(), whole.Rows().size());
    for (std::size_t i = 0; i < whole.Rows().size(); ++i) {
        EXPECT_EQ(parts.Rows()[i].Event, whole.Rows()[i].Event);
        EXPECT_EQ(parts.Rows()[i].Reply, whole.Rows()[i].Reply);
    }
}

// A file made a few bytes at a time from a snapshot, while the capture goes on recording: the
// bytes of the file made at once before, for CSV and pcapng, the whole ring (wrapped, with a
// note) and a choice of exchanges.
TEST(CaptureFiles, AFileMadeInPartsFromASnapshotIsTheFileMadeAtOnce) {
    const auto capture = KnownExchange(8);
    ASSERT_EQ(capture->Lost(), 3u);
    bus::TCaptureSelection chosen;
    chosen.All = false;
    chosen.Events = {capture->Begin() + 1, capture->End() - 2};
    std::vector<std::string> whole;
    for (const bus::TCaptureSelection& selection : {bus::TCaptureSelection{}, chosen})
        for (const bool csv : {false, true})
            whole.push_back(csv ? bus::CsvText(*capture, selection)
                                : bus::PcapngBytes(*capture, selection));
    const std::unique_ptr<TCapture> snapshot = capture->Snapshot();
    capture->RecordWord(bus::AddressWord(3), TEventTransport::Serial, TEventStatus::Ok);
    capture->AddNote("later");
    std::size_t file = 0;
    for (const bus::TCaptureSelection& selection : {bus::TCaptureSelection{}, chosen}) {
        for (const bool csv : {false, true}) {
            bus::TCaptureFileParts parts(*snapshot, selection, csv);
            std::string bytes;
            int calls = 0;
            for (; !parts.Done(); ++calls)
                parts.Next(bytes, bytes.size() + 1);
            EXPECT_EQ(bytes, whole[file]) << "file " << file;
            EXPECT_GT(calls, 1) << "file " << file;
            ++file;
        }
    }
}

TEST(CaptureFiles, CsvHasOneRowPerExchangeWithTimesMeaningAndStatus) {
    const auto capture = KnownExchange();
    EXPECT_EQ(bus::CsvText(*capture, {}),
              "time_utc,seconds,direction,word,meaning,reply,latency_ms,status\n"
              "2026-12-09T10:00:00.000000000Z,0.000000000,out,0x0A,optiebyte 10,,,ok\n"
              "2026-12-09T10:00:00.001040000Z,0.001040000,in,,echo 10,0x0A,,ok\n"
              "2026-12-09T10:00:00.001100000Z,0.001100000,,,19200 baud,,,ok\n"
              "2026-12-09T10:00:00.002000000Z,0.002000000,out,0x89,adres 9; echo,0x89,1.042,ok\n"
              "2026-12-09T10:00:00.004000000Z,0.004000000,out,0x40,"
              "\"data 0; terugmelding 1010, kortsluiting\",0x5A,1.125,ok\n"
              "2026-12-09T10:00:00.006000000Z,0.006000000,out,0x43,data 3,,3000.000,no-reply\n"
              "2026-12-09T10:00:03.500000000Z,3.500000000,,,\"lok, op sectie 3\",,,ok\n"
              "2026-12-09T10:00:04.000000000Z,4.000000000,out,0x8C,adres 12,,,not-connected\n");
}

TEST(CaptureFiles, PcapngReadsBackInTsharkWithTheProgramsDissector) {
    const auto capture = KnownExchange();
    capture->Simulated = true;
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("morvelplint-capture-" + std::to_string(::getpid()) + ".pcapng");
    std::string error;
    ASSERT_TRUE(bus::WritePcapng(*capture, {}, file.string(), error)) << error;
    ASSERT_FALSE(RunCommand("command -v tshark").empty()) << "tshark is not installed";

    const std::string fields[] = {
        "frame.time_epoch",       "frame.packet_flags_direction", "frame.comment",
        "morvelplint.kind",       "morvelplint.transport",        "morvelplint.simulated",
        "morvelplint.status",     "morvelplint.direction",        "morvelplint.word",
        "morvelplint.strobe",     "morvelplint.address",          "morvelplint.data",
        "morvelplint.reply",      "morvelplint.lines",            "morvelplint.short",
        "morvelplint.latency",    "morvelplint.place",            "morvelplint.paired_word",
        "morvelplint.baud"};
    std::string command = "tshark -r '" + file.string() + "' -X lua_script:" +
                          MORVELPLINT_SOURCE_DIR + "/resources/wireshark/morvelplint.lua" +
                          " -T fields -E separator=';'";
    for (const std::string& field : fields)
        command += " -e " + field;
    const std::string output = RunCommand(command + " 2>/dev/null");
    std::filesystem::remove(file);
    // time; direction flag; comment; kind; transport; simulated; status; direction; word;
    // strobe; address; data; reply; lines; short; latency; place; word answered; baud
    EXPECT_EQ(output,
              "1796810400.000000000;0x00000002;optiebyte 10;4;0;1;0;0;;;;;;;;;;;\n"
              "1796810400.001040000;0x00000001;echo 10;5;0;1;0;1;;;;;;;;;;;\n"
              "1796810400.001100000;0x00000000;19200 baud;6;0;1;0;2;;;;;;;;;;;19200\n"
              "1796810400.002000000;0x00000002;;0;0;1;0;0;0x89;3;9;;;;;;9;;\n"
              "1796810400.003042000;0x00000001;;1;0;1;0;1;;;;;0x89;;;1042;9;0x89;\n"
              "1796810400.004000000;0x00000002;;0;0;1;0;0;0x40;2;;0;;;;;9;;\n"
              "1796810400.005125000;0x00000001;;1;0;1;0;1;;;;;0x5a;10;1;1125;9;0x40;\n"
              "1796810400.006000000;0x00000002;;0;0;1;0;0;0x43;2;;3;;;;;9;;\n"
              "1796810403.006000000;0x00000001;;1;0;1;1;1;;;;;;;;3000000;9;0x43;\n"
              "1796810403.500000000;0x00000000;lok, op sectie 3;7;0;1;0;2;;;;;;;;;9;;\n"
              "1796810404.000000000;0x00000002;;0;0;1;2;0;0x8c;3;12;;;;;;9;;\n");
}

// The capture written as it goes gives the bytes the whole-file writers give for the same
// events: a CSV row waits for its word's reply, also with two parallel words under way and a
// note between them and their replies; and a stream holds events the ring has dropped.
TEST(CaptureFiles, AStreamWritesWhatTheWholeFileHoldsAsTheEventsCome) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    const std::string stem = "morvelplint-stream-" + std::to_string(::getpid());
    const auto parallelTail = [](TCapture& capture) {
        gMonotonic += 1'000'000;
        capture.RecordWord(bus::AddressWord(5), TEventTransport::Parallel, TEventStatus::Ok);
        capture.RecordWord(bus::DataWord(1), TEventTransport::Parallel, TEventStatus::Ok);
        capture.AddNote("tussen de woorden");
        gMonotonic += 500'000;
        capture.RecordReply(0x85, TEventTransport::Parallel, TEventStatus::Ok);
        capture.RecordReply(0x43, TEventTransport::Parallel, TEventStatus::Ok);
    };
    const auto streamed = [&](std::size_t capacity, const char* extension,
                              std::unique_ptr<TCapture>& capture) {
        const std::string path = (folder / (stem + extension)).string();
        std::unique_ptr<bus::TCaptureStream> stream;
        std::string error;
        capture = KnownExchange(capacity, [&](TCapture& c) {
            stream = bus::TCaptureStream::Open(c, path, error);
        });
        EXPECT_TRUE(stream) << error;
        if (!stream)
            return std::string();
        parallelTail(*capture);
        EXPECT_TRUE(stream->Close(error)) << error;
        EXPECT_EQ(stream->Events(), 16u);
        std::string written;
        EXPECT_TRUE(bus::ReadFileText(path, written));
        std::filesystem::remove(path);
        return written;
    };
    std::unique_ptr<TCapture> capture;
    std::string bytes = streamed(100, ".csv", capture);
    EXPECT_EQ(bytes, bus::CsvText(*capture, {}));
    bytes = streamed(100, ".pcapng", capture);
    EXPECT_EQ(bytes, bus::PcapngBytes(*capture, {}));

    // A ring of three: the stream still has all sixteen packets.
    bytes = streamed(3, ".pcapng", capture);
    EXPECT_EQ(capture->Lost(), 13u);
    int packets = 0;
    for (std::size_t at = 0; at + 8 <= bytes.size();) {
        std::uint32_t type = 0;
        std::uint32_t length = 0;
        std::memcpy(&type, bytes.data() + at, 4);
        std::memcpy(&length, bytes.data() + at + 4, 4);
        packets += type == 6;
        ASSERT_GE(length, 12u);
        at += length;
        ASSERT_LE(at, bytes.size());
    }
    EXPECT_EQ(packets, 16);
}
