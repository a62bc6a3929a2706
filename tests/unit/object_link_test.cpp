// The object link on the in-memory server: description, data and policy messages, byte
// order, names, point assignment from the rack, analog limits and transfers, the connection
// rules, and the reassembly of split and merged messages.
#include <gtest/gtest.h>

#include "test_tmp.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "hardware/hardware_file.h"
#include "objectlink/object_link.h"
#include "platform/fake_object_server.h"
#include "sim/simulator.h"

using namespace korvane;

namespace {

// --- messages as a peer builds them --------------------------------------------------------

void putNumber(Bytes& out, std::uint32_t v, bool lsbFirst) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * (lsbFirst ? i : 3 - i))));
}

struct Counts {
    std::int32_t di = 0, dout = 0, ai = 0, ao = 0;
};

Bytes describe(std::int32_t kind, Counts c, const std::vector<std::string>& names = {}) {
    const bool lsb = ObjectLink::leastSignificantFirst(kind);
    Bytes m{0x01, 0x01, 0x01, 0x02};
    putNumber(m, static_cast<std::uint32_t>(kind), false);
    for (std::int32_t n : {c.di, c.dout, c.ai, c.ao}) putNumber(m, static_cast<std::uint32_t>(n), lsb);
    for (const std::string& name : names) {
        for (std::size_t i = 0; i < 8; ++i) m.push_back(i < name.size() ? static_cast<std::uint8_t>(name[i]) : 0);
    }
    return m;
}

Bytes dataMessage(std::int32_t kind, std::array<std::uint8_t, 8> di = {}, std::array<float, 16> ai = {}) {
    const bool lsb = ObjectLink::leastSignificantFirst(kind);
    Bytes m{0x01, 0x01, 0x01, 0x03};
    m.insert(m.end(), di.begin(), di.end());
    for (float f : ai) putNumber(m, std::bit_cast<std::uint32_t>(f), lsb);
    return m;
}

float answerReal(const Bytes& a, int k, bool lsb) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= std::uint32_t{a[static_cast<std::size_t>(12 + 4 * k + i)]} << (8 * (lsb ? i : 3 - i));
    return std::bit_cast<float>(u);
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Link {
    MemoryLogSink sink;
    Log log{&sink};
    PlcMemory mem{&log};
    AutoPrompt prompt;
    HardwareConfig rack{&prompt};
    FakeObjectServer server;
    VirtualScheduler clock;
    ObjectLink link{server, mem, rack, log, &prompt, &clock};
    int rebuilds = 0, refreshes = 0;
    std::vector<std::string> status;
    std::vector<bool> sourceChanges;

    Link() {
        link.onRebuild = [this] { ++rebuilds; };
        link.onValues = [this] { ++refreshes; };
        link.onStatusText = [this](const std::string& s) { status.push_back(s); };
        link.onInputsFromObject = [this](bool on) { sourceChanges.push_back(on); };
        EXPECT_EQ(link.start(), ObjectLink::Start::Listening);
        EXPECT_TRUE(server.peerConnects());
    }
    // CPU 224 (14 DI, 10 DO) with the modules given by catalogue position in M1, M2, ...
    void rack224(std::initializer_list<int> modules = {}) {
        ASSERT_EQ(rack.chooseCpu(4), RackChange::Applied);
        int slot = 0;
        for (int m : modules) ASSERT_EQ(rack.chooseModule(slot++, m), RackChange::Applied);
    }
    bool logged(const std::string& line) const {
        return std::find(sink.lines.begin(), sink.lines.end(), line) != sink.lines.end();
    }
};

constexpr int kEm223_8Dio = 10;  // module list positions
constexpr int kEm235 = 22;

// --- connection rules ----------------------------------------------------------------------

TEST(ObjectLinkConnection, FirstIsAcceptedSecondGetsOnlyTheRefusalLineAndTheFirstKeepsWorking) {
    Link t;
    EXPECT_TRUE(t.logged(kLogObjectAccepted));
    t.sink.lines.clear();
    EXPECT_FALSE(t.server.peerConnects());
    EXPECT_EQ(t.sink.lines, std::vector<std::string>{kLogObjectRefused});
    EXPECT_EQ(t.server.refused(), 1);
    EXPECT_TRUE(t.link.connected());
    t.server.peerSends(dataMessage(1));
    EXPECT_EQ(t.server.take().size(), ObjectLink::kDataBytes);
}

TEST(ObjectLinkConnection, PeerCloseLogsShowsTheStatusTextAndGivesTheInputsBack) {
    Link t;
    t.server.peerSends(describe(1, {8, 8, 0, 0}));
    ASSERT_TRUE(t.link.inputsFromObject());
    t.server.peerCloses();
    EXPECT_TRUE(t.logged(kLogObjectClosed));
    EXPECT_EQ(t.status, std::vector<std::string>{kStatusObjectClosed});
    EXPECT_FALSE(t.link.inputsFromObject());
    EXPECT_FALSE(t.link.connected());
    EXPECT_EQ(t.sourceChanges, (std::vector<bool>{true, false}));
    // The next object is accepted; its counts start from zero, the kind survives.
    EXPECT_TRUE(t.server.peerConnects());
    EXPECT_EQ(t.link.count(PointKind::DI), 0);
    EXPECT_EQ(t.link.objectKind(), 1);
}

TEST(ObjectLinkConnection, SocketErrorLogsItsNumberAndTextAndClosesTheConnection) {
    Link t;
    t.server.peerSends(describe(1, {1, 1, 0, 0}));
    t.server.socketFails(10054, "Connection reset by peer");
    EXPECT_TRUE(t.logged("错误[10054]Connection reset by peer关闭通信"));
    EXPECT_FALSE(t.link.connected());
    EXPECT_FALSE(t.link.inputsFromObject());
    EXPECT_TRUE(t.server.peerConnects());
}

TEST(ObjectLinkConnection, DisconnectClosesClearsTheFlagAndRefreshesTheView) {
    Link t;
    t.server.peerSends(describe(1, {1, 1, 0, 0}));
    const int before = t.refreshes;
    t.link.Disconnect();
    EXPECT_FALSE(t.link.connected());
    EXPECT_FALSE(t.link.inputsFromObject());
    EXPECT_EQ(t.refreshes, before + 1);
}

TEST(ObjectLinkConnection, AListenFailureShowsTheMessageAndASecondInstanceNeverListens) {
    MemoryLogSink sink;
    Log log{&sink};
    PlcMemory mem;
    AutoPrompt prompt;
    HardwareConfig rack;
    FakeObjectServer busy;
    busy.failListenWith = "The bound address is already in use";
    ObjectLink a(busy, mem, rack, log, &prompt);
    EXPECT_EQ(a.start(), ObjectLink::Start::Failed);
    EXPECT_EQ(prompt.informed, std::vector<std::string>{kMsgObjectListenFailed});
    EXPECT_FALSE(busy.isListening());

    FakeObjectServer free;
    ObjectLink b(free, mem, rack, log, &prompt);
    EXPECT_EQ(b.start(ObjectLink::kDefaultPort, "", true), ObjectLink::Start::SecondInstance);
    EXPECT_FALSE(free.isListening());
    EXPECT_FALSE(free.peerConnects());
    EXPECT_EQ(b.start(ObjectLink::kDefaultPort, "127.0.0.1"), ObjectLink::Start::Listening);
    EXPECT_EQ(free.port(), 9215);
    EXPECT_EQ(free.address(), "127.0.0.1");
}

// --- description ---------------------------------------------------------------------------

TEST(ObjectLinkDescription, DataBeforeAnyDescriptionIsAnsweredWithZerosButTheInputsStayWithThePanels) {
    Link t;
    t.rack224();
    std::array<std::uint8_t, 8> all{};
    all.fill(0xFF);
    t.server.peerSends(dataMessage(0, all));
    Bytes answer = t.server.take();
    Bytes zeros(ObjectLink::kDataBytes, 0);
    zeros[0] = zeros[1] = zeros[2] = 1;
    zeros[3] = 3;
    // Zero AO values are sent as the float 0.0.
    EXPECT_EQ(answer, zeros);
    EXPECT_FALSE(t.link.inputsFromObject());
    t.link.inputTransfer();
    EXPECT_FALSE(t.mem.bit(0));
}

TEST(ObjectLinkDescription, ThreeDigitalInputsOnACpuWithFourteenTakeI00ToI02Only) {
    Link t;
    t.rack224();
    t.server.peerSends(describe(1, {3, 0, 0, 0}));
    ASSERT_TRUE(t.link.inputsFromObject());
    for (int n = 0; n < 3; ++n) {
        const ObjectPoint& p = t.link.point(PointKind::DI, n);
        EXPECT_EQ(p.slot, 0);
        EXPECT_EQ(p.indexInSlot, n);
        EXPECT_EQ(p.address, n);
    }
    for (int n = 3; n < 64; ++n) EXPECT_FALSE(t.link.point(PointKind::DI, n).assigned()) << n;
    std::array<std::uint8_t, 8> all{};
    all.fill(0xFF);
    t.server.peerSends(dataMessage(1, all));
    t.link.inputTransfer();
    for (int b = 0; b < 16; ++b) EXPECT_EQ(t.mem.bit(b), b < 3) << "I bit " << b;
}

TEST(ObjectLinkDescription, ExactlyTwentyFourBytesSetCountsAndAssignmentButNoNames) {
    Link t;
    t.rack224();
    t.server.peerSends(describe(1, {2, 0, 0, 0}, {"START", "STOP"}));
    ASSERT_EQ(t.link.point(PointKind::DI, 0).name, "START");
    t.server.peerSends(describe(1, {4, 2, 0, 0}));
    EXPECT_EQ(t.link.count(PointKind::DI), 4);
    EXPECT_EQ(t.link.count(PointKind::DO), 2);
    EXPECT_EQ(t.link.point(PointKind::DO, 1).address, 1);
    for (int n = 0; n < 4; ++n) EXPECT_EQ(t.link.point(PointKind::DI, n).name, "");
    // Names that arrive on their own afterwards still belong to it.
    const Bytes names = {'A', 0, 0, 0, 0, 0, 0, 0, 'B', 0, 0, 0, 0, 0, 0, 0, 'C', 0, 0, 0, 0, 0, 0, 0,
                         'D', 0, 0, 0, 0, 0, 0, 0, 'Q', '0', 0, 0, 0, 0, 0, 0, 'Q', '1', 0, 0, 0, 0, 0, 0};
    t.server.peerSends(names);
    EXPECT_EQ(t.link.point(PointKind::DI, 3).name, "D");
    EXPECT_EQ(t.link.point(PointKind::DO, 1).name, "Q1");
}

struct NameCase {
    const char* field;  // 8 bytes
    const char* name;
};
class ObjectLinkNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(ObjectLinkNames, ANameEndsBeforeTheFirstByteBelowEleven) {
    Link t;
    Bytes m = describe(1, {1, 0, 0, 0});
    m.insert(m.end(), GetParam().field, GetParam().field + 8);
    t.server.peerSends(m);
    EXPECT_EQ(t.link.point(PointKind::DI, 0).name, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Fields, ObjectLinkNames,
                         ::testing::Values(NameCase{"VALVE\0\0\0", "VALVE"}, NameCase{"LEVELSW1", "LEVELSW1"},
                                           NameCase{"AB\nCDEFG", "AB"}, NameCase{"\0\0\0\0\0\0\0\0", ""},
                                           NameCase{"P\xB5MP\0\0\0\0", "P\xC2\xB5MP"}));

TEST(ObjectLinkDescription, NamesFollowTheOrderDiDoAiAo) {
    Link t;
    t.rack224({kEm235});
    t.server.peerSends(describe(1, {2, 1, 1, 1}, {"DI0", "DI1", "DO0", "AI0", "AO0"}));
    EXPECT_EQ(t.link.point(PointKind::DI, 1).name, "DI1");
    EXPECT_EQ(t.link.point(PointKind::DO, 0).name, "DO0");
    EXPECT_EQ(t.link.point(PointKind::AI, 0).name, "AI0");
    EXPECT_EQ(t.link.point(PointKind::AO, 0).name, "AO0");
    EXPECT_EQ(t.link.point(PointKind::AI, 0).address, 0);
    EXPECT_EQ(t.link.point(PointKind::AI, 0).slot, 1);
}

struct CountCase {
    Counts declared;
    Counts cut;
};
class ObjectLinkCounts : public ::testing::TestWithParam<CountCase> {};

TEST_P(ObjectLinkCounts, CountsAreCutToTheTables) {
    Link t;
    const Counts d = GetParam().declared;
    t.server.peerSends(describe(1, d));
    EXPECT_EQ(t.link.count(PointKind::DI), GetParam().cut.di);
    EXPECT_EQ(t.link.count(PointKind::DO), GetParam().cut.dout);
    EXPECT_EQ(t.link.count(PointKind::AI), GetParam().cut.ai);
    EXPECT_EQ(t.link.count(PointKind::AO), GetParam().cut.ao);
    // Still usable afterwards.
    t.server.peerSends(dataMessage(1));
    EXPECT_EQ(t.server.take().size(), ObjectLink::kDataBytes);
}

INSTANTIATE_TEST_SUITE_P(Limits, ObjectLinkCounts,
                         ::testing::Values(CountCase{{64, 64, 16, 16}, {64, 64, 16, 16}},
                                           CountCase{{65, 1000, 17, 0x7FFFFFFF}, {64, 64, 16, 16}},
                                           CountCase{{-1, -2147483647 - 1, 3, -5}, {0, 0, 3, 0}}));

TEST(ObjectLinkDescription, KindTwoAndLargeKindsReadCountsLeastSignificantFirst) {
    for (std::int32_t kind : {2, 65536, 1, 0, 65535, -1}) {
        Link t;
        t.server.peerSends(describe(kind, {5, 6, 7, 8}));
        EXPECT_EQ(t.link.objectKind(), kind);
        EXPECT_EQ(t.link.count(PointKind::DI), 5) << kind;
        EXPECT_EQ(t.link.count(PointKind::AO), 8) << kind;
    }
    EXPECT_TRUE(ObjectLink::leastSignificantFirst(2));
    EXPECT_TRUE(ObjectLink::leastSignificantFirst(65536));
    EXPECT_FALSE(ObjectLink::leastSignificantFirst(65535));
    EXPECT_FALSE(ObjectLink::leastSignificantFirst(-1));  // the kind is a signed number
}

// --- rack assignment -----------------------------------------------------------------------

TEST(ObjectLinkAssignment, PointsWalkTheSlotsAndFollowRackChangesAndLoadedFiles) {
    Link t;
    t.rack224();
    t.server.peerSends(describe(1, {16, 16, 2, 1}));
    EXPECT_EQ(t.link.point(PointKind::DI, 13).address, 13);  // I1.5
    EXPECT_FALSE(t.link.point(PointKind::DI, 14).assigned());
    EXPECT_FALSE(t.link.point(PointKind::DO, 10).assigned());
    EXPECT_FALSE(t.link.point(PointKind::AI, 0).assigned());
    const int rebuilds = t.rebuilds;
    ASSERT_EQ(t.rack.chooseModule(0, kEm223_8Dio), RackChange::Applied);
    EXPECT_GT(t.rebuilds, rebuilds);
    const ObjectPoint& di14 = t.link.point(PointKind::DI, 14);
    EXPECT_EQ(di14.slot, 1);
    EXPECT_EQ(di14.indexInSlot, 0);
    EXPECT_EQ(di14.address, 16);  // I2.0: the module starts on the next byte
    EXPECT_EQ(t.link.point(PointKind::DO, 10).address, 16);  // Q2.0
    EXPECT_FALSE(t.link.point(PointKind::AI, 0).assigned());

    // A .hd file: CPU 224 with M1 = EM235: AIW0 and AIW2, AQW0.
    const auto path = testTmpDir("object_link") / "rack.hd";
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "4 22 0 0 0 0 0 0\r\n";
    ASSERT_TRUE(loadHardwareFile(path.string(), t.rack, t.log, &t.prompt));
    EXPECT_EQ(t.link.point(PointKind::AI, 1).address, 2);
    EXPECT_EQ(t.link.point(PointKind::AI, 1).slot, 1);
    EXPECT_EQ(t.link.point(PointKind::AO, 0).address, 0);
    EXPECT_FALSE(t.link.point(PointKind::DI, 14).assigned());
}

// --- analog values -------------------------------------------------------------------------

struct AnalogIn {
    float sent;
    double kept;
    double aiw;
};
class ObjectLinkAnalogIn : public ::testing::TestWithParam<AnalogIn> {};

TEST_P(ObjectLinkAnalogIn, InputsAreLimitedThenScaledToTheWord) {
    Link t;
    t.rack224({kEm235});
    t.server.peerSends(describe(1, {0, 0, 1, 0}));
    std::array<float, 16> ai{};
    ai[0] = GetParam().sent;
    ai[1] = 12.0f;  // point 1 is not declared: unassigned, so it reads 0
    t.server.peerSends(dataMessage(1, {}, ai));
    EXPECT_DOUBLE_EQ(t.link.point(PointKind::AI, 0).value, GetParam().kept);
    EXPECT_EQ(t.link.point(PointKind::AI, 1).value, 0.0);
    t.link.inputTransfer();
    EXPECT_EQ(t.mem.GetWordValue(area::AIW), GetParam().aiw);
    EXPECT_EQ(t.mem.GetWordValue(area::AIW + 16), 0.0);
}

INSTANTIATE_TEST_SUITE_P(Currents, ObjectLinkAnalogIn,
                         ::testing::Values(AnalogIn{2.0f, 4.0, 6400}, AnalogIn{25.0f, 20.4793758, 32000},
                                           AnalogIn{4.0f, 4.0, 6400}, AnalogIn{20.0f, 20.0, 32000},
                                           AnalogIn{12.0f, 12.0, 19200}, AnalogIn{4.0625f, 4.0625, 6500},
                                           AnalogIn{std::nanf(""), 4.0, 6400},
                                           AnalogIn{-INFINITY, 4.0, 6400}, AnalogIn{INFINITY, 20.4793758, 32000}));

struct AnalogOut {
    std::uint16_t aqw;  // the word as written
    float mA;
};
class ObjectLinkAnalogOut : public ::testing::TestWithParam<AnalogOut> {};

TEST_P(ObjectLinkAnalogOut, OutputsAreSentAsMilliamps) {
    Link t;
    t.rack224({kEm235});
    t.server.peerSends(describe(1, {0, 0, 0, 1}));
    t.mem.tobit(GetParam().aqw, area::AQW, 16);
    t.link.outputTransfer();
    t.server.take();
    t.server.peerSends(dataMessage(1));
    const Bytes a = t.server.take();
    ASSERT_EQ(a.size(), ObjectLink::kDataBytes);
    EXPECT_FLOAT_EQ(answerReal(a, 0, false), GetParam().mA);
}

INSTANTIATE_TEST_SUITE_P(Words, ObjectLinkAnalogOut,
                         ::testing::Values(AnalogOut{0, 4.0f}, AnalogOut{32000, 20.0f}, AnalogOut{6400, 4.0f},
                                           AnalogOut{6399, 4.0f}, AnalogOut{19200, 12.0f},
                                           AnalogOut{32767, 20.479375f}, AnalogOut{0x8000, 20.48f},
                                           AnalogOut{0x9C40, 25.0f}, AnalogOut{0xFF9C, 40.8975f},
                                           AnalogOut{0xFFFF, 40.959375f}));

TEST(ObjectLinkByteOrder, KindTwoSendsFourAs00008040KindOneAs40800000) {
    for (auto [kind, bytes] : {std::pair{2, Bytes{0x00, 0x00, 0x80, 0x40}}, std::pair{1, Bytes{0x40, 0x80, 0x00, 0x00}},
                               std::pair{70000, Bytes{0x00, 0x00, 0x80, 0x40}}}) {
        Link t;
        t.rack224({kEm235});
        t.server.peerSends(describe(kind, {0, 0, 1, 1}));
        t.link.outputTransfer();  // AQW0 = 0: 4.0 mA
        std::array<float, 16> ai{};
        ai[0] = 20.0f;
        t.server.peerSends(dataMessage(kind, {}, ai));
        const Bytes a = t.server.take();
        ASSERT_EQ(a.size(), ObjectLink::kDataBytes);
        EXPECT_EQ(Bytes(a.begin() + 12, a.begin() + 16), bytes) << kind;
        EXPECT_DOUBLE_EQ(t.link.point(PointKind::AI, 0).value, 20.0) << kind;
    }
}

TEST(ObjectLinkTransfers, DigitalPointsFollowTheImageAndAreSentPacked) {
    Link t;
    t.rack224({kEm223_8Dio});
    t.server.peerSends(describe(1, {16, 12, 0, 0}));
    t.mem.setBit(area::Q + 0, true);
    t.mem.setBit(area::Q + 9, true);   // Q1.1: DO point 9
    t.mem.setBit(area::Q + 17, true);  // Q2.1: DO point 11 (the module's second output)
    t.mem.setBit(area::Q + 12, true);  // Q1.4 is beyond the CPU's ten outputs: no point
    t.link.outputTransfer();
    t.server.peerSends(dataMessage(1, {0x09, 0xC0, 0, 0, 0, 0, 0, 0}));
    const Bytes a = t.server.take();
    ASSERT_EQ(a.size(), ObjectLink::kDataBytes);
    EXPECT_EQ(a[4], 0x01);
    EXPECT_EQ(a[5], 0x0A);  // points 9 and 11
    t.link.inputTransfer();
    EXPECT_TRUE(t.mem.bit(0));
    EXPECT_TRUE(t.mem.bit(3));
    EXPECT_FALSE(t.mem.bit(14));  // I1.6: no point lies there
    EXPECT_TRUE(t.mem.bit(16));   // DI point 14 is I2.0
    EXPECT_TRUE(t.mem.bit(17));
}

// --- policy --------------------------------------------------------------------------------

TEST(ObjectLinkPolicy, APolicyRequestIsAnsweredAndTheConnectionStaysOpen) {
    Link t;
    const std::string req = "<policy-file-request/>";
    Bytes m(req.begin(), req.end());
    m.push_back(0);
    t.server.peerSends(m);
    const Bytes a = t.server.take();
    const std::string want =
        "<?xml version=\"1.0\"?>\r\n"
        "<!DOCTYPE cross-domain-policy SYSTEM \"http://www.adobe.com/xml/dtds/cross-domain-policy.dtd\">\r\n"
        "<cross-domain-policy>\r\n<allow-access-from domain=\"*\" to-ports=\"9215\" />\r\n"
        "</cross-domain-policy>\r\n";
    ASSERT_EQ(a.size(), want.size() + 4);
    EXPECT_EQ(std::string(a.begin(), a.end() - 4), want);
    EXPECT_EQ(Bytes(a.end() - 4, a.end()), Bytes(4, 0));
    EXPECT_TRUE(t.link.connected());
    t.server.peerSends(describe(1, {1, 0, 0, 0}));
    EXPECT_TRUE(t.link.inputsFromObject());
}

// --- reassembly ----------------------------------------------------------------------------

struct SplitCase {
    const char* what;
    std::vector<std::size_t> cuts;  // arrival boundaries in the stream
};
class ObjectLinkSplit : public ::testing::TestWithParam<SplitCase> {};

// A description with names, a data message, a policy request and a second data message:
// however TCP cuts the stream, the same answers come in the same order.
TEST_P(ObjectLinkSplit, TheStreamIsReassembledWhereverItIsCut) {
    Link t;
    t.rack224({kEm235});
    const std::string req = "<policy-file-request/>";
    Bytes policy(req.begin(), req.end());
    policy.push_back(0);
    std::array<float, 16> ai{};
    ai[0] = 8.0f;
    const Bytes stream = cat({describe(2, {2, 2, 1, 0}, {"LOW", "HIGH", "FILL", "DRAIN", "LEVEL"}),
                              dataMessage(2, {0x01}, ai), policy, dataMessage(2, {0x02}, ai)});
    std::size_t from = 0;
    std::vector<std::size_t> cuts = GetParam().cuts;
    cuts.push_back(stream.size());
    for (std::size_t to : cuts) {
        to = std::min(to, stream.size());
        if (to <= from) continue;
        t.server.peerSends(std::span<const std::uint8_t>(stream.data() + from, to - from));
        from = to;
    }
    EXPECT_EQ(t.link.point(PointKind::DO, 0).name, "FILL");
    EXPECT_EQ(t.link.point(PointKind::AI, 0).name, "LEVEL");
    EXPECT_EQ(t.link.dataMessages(), 2u);
    const Bytes a = t.server.take();
    const Bytes pol = ObjectLink::policyAnswer();
    ASSERT_EQ(a.size(), 2 * ObjectLink::kDataBytes + pol.size());
    EXPECT_EQ(Bytes(a.begin() + 76, a.begin() + 76 + static_cast<std::ptrdiff_t>(pol.size())), pol);
    EXPECT_EQ(t.link.point(PointKind::DI, 1).value, 1.0);  // from the second data message
    EXPECT_EQ(t.link.point(PointKind::AI, 0).value, 8.0);
    EXPECT_EQ(t.link.bufferedBytes(), 0u);
}

std::vector<std::size_t> everyByte() {
    std::vector<std::size_t> v;
    for (std::size_t i = 1; i < 400; ++i) v.push_back(i);
    return v;
}

INSTANTIATE_TEST_SUITE_P(Cuts, ObjectLinkSplit,
                         ::testing::Values(SplitCase{"merged", {}}, SplitCase{"header", {2}},
                                           SplitCase{"counts", {10}}, SplitCase{"afterCounts", {24}},
                                           SplitCase{"inNames", {30, 50}}, SplitCase{"inData", {64 + 40}},
                                           SplitCase{"inPolicy", {64 + 76 + 5}}, SplitCase{"byteByByte", everyByte()}),
                         [](const ::testing::TestParamInfo<SplitCase>& c) { return std::string(c.param.what); });

TEST(ObjectLinkReassembly, PaddingAfterAMessageIsDroppedAndTheNextArrivalIsReadAgain) {
    Link t;
    t.rack224();
    Bytes padded = cat({dataMessage(1, {0x01}), Bytes(100, 0xEE)});
    t.server.peerSends(padded);
    EXPECT_EQ(t.server.take().size(), ObjectLink::kDataBytes);
    EXPECT_EQ(t.link.bufferedBytes(), 0u);
    // A description padded with zeros: the zeros are its (empty) names, the rest is dropped.
    t.server.peerSends(cat({describe(1, {2, 0, 0, 0}), Bytes(200, 0)}));
    EXPECT_EQ(t.link.count(PointKind::DI), 2);
    EXPECT_EQ(t.link.bufferedBytes(), 0u);
    // Garbage first, then a proper message in its own arrival.
    t.server.peerSends(Bytes{'G', 'E', 'T', ' ', '/'});
    t.server.peerSends(dataMessage(1));
    EXPECT_EQ(t.server.take().size(), ObjectLink::kDataBytes);
    // Fewer than four bytes that cannot begin a header are dropped; those that can are kept.
    t.server.peerSends(Bytes{0x07});
    EXPECT_EQ(t.link.bufferedBytes(), 0u);
    t.server.peerSends(Bytes{0x01, 0x01});
    EXPECT_EQ(t.link.bufferedBytes(), 2u);
}

TEST(ObjectLinkReassembly, ShortNamesFollowedByANewMessageWerePadding) {
    Link t;
    t.server.peerSends(cat({describe(1, {4, 0, 0, 0}), Bytes{'X', 'Y', 0}}));
    EXPECT_TRUE(t.link.inputsFromObject());
    t.server.peerSends(dataMessage(1, {0x0F}));
    EXPECT_EQ(t.server.take().size(), ObjectLink::kDataBytes);
    EXPECT_EQ(t.link.point(PointKind::DI, 0).name, "");
    // A description followed at once by a data message in the same arrival: no names.
    t.server.peerSends(cat({describe(1, {4, 0, 0, 0}), dataMessage(1)}));
    EXPECT_EQ(t.server.take().size(), ObjectLink::kDataBytes);
}

TEST(ObjectLinkReassembly, AnUnfinishedPolicyRequestIsDroppedAtItsLimitAndADataMessageCutByTheCloseIsLogged) {
    Link t;
    t.server.peerSends(Bytes(ObjectLink::kPolicyRequestLimit + 10, '<'));  // not a header: dropped
    EXPECT_EQ(t.link.bufferedBytes(), 0u);
    Bytes endless{'<', 'p', 'o', 'l'};
    endless.resize(ObjectLink::kPolicyRequestLimit + 1, 'x');
    t.server.peerSends(endless);
    EXPECT_EQ(t.link.bufferedBytes(), 0u);
    EXPECT_TRUE(t.server.take().empty());
    Bytes part = dataMessage(1);
    part.resize(40);
    t.server.peerSends(part);
    EXPECT_EQ(t.link.bufferedBytes(), 40u);
    t.server.peerCloses();
    EXPECT_TRUE(t.logged(kLogObjectShortData));
    EXPECT_EQ(t.link.bufferedBytes(), 0u);
}

// A data message cut short and never finished: after 200 ms of the scheduler's time it is
// dropped and logged, so that the next whole message is read from its own header. The rest
// of a message that does come within the time still completes it.
TEST(ObjectLinkReassembly, AFragmentLeftFor200msIsDroppedAndLoggedAndTheNextMessageIsReadRight) {
    Link t;
    t.rack224();
    t.server.peerSends(describe(1, {8, 0, 0, 0}));
    const Bytes late = dataMessage(1, {0xFF});
    const Bytes whole = dataMessage(1, {0x05});
    const auto shortLines = [&] { return std::count(t.sink.lines.begin(), t.sink.lines.end(), kLogObjectShortData); };

    // Completed within the time: one message.
    t.server.peerSends(Bytes(late.begin(), late.begin() + 40));
    t.clock.advanceBy(150);
    t.server.peerSends(Bytes(late.begin() + 40, late.end()));
    EXPECT_EQ(t.link.dataMessages(), 1u);
    EXPECT_EQ(t.link.point(PointKind::DI, 7).value, 1.0);
    t.server.take();

    // Left alone: the scheduler's timer drops it at 200 ms.
    t.server.peerSends(Bytes(late.begin(), late.begin() + 40));
    t.clock.advanceBy(199);
    EXPECT_EQ(t.link.bufferedBytes(), 40u);
    EXPECT_EQ(shortLines(), 0);
    t.clock.advanceBy(1);
    EXPECT_EQ(t.link.bufferedBytes(), 0u);
    EXPECT_EQ(shortLines(), 1);
    t.server.peerSends(whole);
    EXPECT_EQ(t.server.take().size(), ObjectLink::kDataBytes);
    EXPECT_EQ(t.link.dataMessages(), 2u);
    for (int b = 0; b < 8; ++b) EXPECT_EQ(t.link.point(PointKind::DI, b).value, (0x05 >> b) & 1) << b;

    // A fragment found stale when the next message arrives, before any timer ran.
    t.link.feed(std::span<const std::uint8_t>(late.data(), 40), 1000);
    t.link.feed(whole, 1250);
    EXPECT_EQ(shortLines(), 2);
    EXPECT_EQ(t.link.dataMessages(), 3u);
    EXPECT_EQ(t.link.point(PointKind::DI, 7).value, 0.0);
    EXPECT_EQ(t.link.bufferedBytes(), 0u);
}

TEST(ObjectLinkReassembly, AViewThatDisconnectsWhileMessagesWaitStopsTheRest) {
    Link t;
    bool once = false;
    t.link.onValues = [&] {
        if (!std::exchange(once, true)) t.link.Disconnect();
    };
    t.server.peerSends(cat({dataMessage(1), dataMessage(1), dataMessage(1)}));
    EXPECT_EQ(t.link.dataMessages(), 1u);
    EXPECT_EQ(t.link.bufferedBytes(), 0u);
}

// --- in the scan cycle ---------------------------------------------------------------------

TEST(ObjectLinkScan, ObjectInputsDriveTheProgramAndItsOutputsComeBack) {
    const auto path = testTmpDir("object_link") / "scan.awl";
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << "ORGANIZATION_BLOCK OB1\r\nBEGIN\r\nNetwork 1\r\nLD     I0.1\r\n"
                                             "=      Q0.2\r\nNetwork 2\r\nLD     SM0.0\r\nMOVW   AIW0, AQW0\r\n"
                                             "END_ORGANIZATION_BLOCK\r\n";
    MemoryLogSink sink;
    AutoPrompt prompt;
    VirtualScheduler clock;
    Simulator sim(clock, &sink, &prompt);
    FakeObjectServer server;
    ObjectLink& link = sim.attachObjectLink(server);
    ASSERT_EQ(link.start(), ObjectLink::Start::Listening);
    ASSERT_EQ(sim.hardware.chooseModule(0, kEm235), RackChange::Applied);
    sim.setDialogFileName(path.string());
    sim.myLoadCode();
    ASSERT_TRUE(sim.hasProgram());
    sim.scan.continuousRun();
    ASSERT_TRUE(server.peerConnects());
    server.peerSends(describe(1, {2, 3, 1, 1}));
    std::array<float, 16> ai{};
    ai[0] = 12.0f;
    server.peerSends(dataMessage(1, {0x02}, ai));
    clock.advanceBy(200);
    server.take();
    server.peerSends(dataMessage(1, {0x02}, ai));
    const Bytes a = server.take();
    ASSERT_EQ(a.size(), ObjectLink::kDataBytes);
    EXPECT_EQ(a[4], 0x04);  // Q0.2
    EXPECT_FLOAT_EQ(answerReal(a, 0, false), 12.0f);
    EXPECT_EQ(sim.memory.GetWordValue(area::AIW), 19200.0);
    // After a disconnect the object no longer writes the inputs.
    link.Disconnect();
    sim.memory.setBit(1, false);
    clock.advanceBy(100);
    EXPECT_FALSE(sim.memory.bit(1));
}

TEST(ObjectLinkScan, TheObjectsInputsAreTheTerminalsAndAnImmediateWriteIsInItsNextAnswer) {
    const auto path = testTmpDir("object_link") / "terminals.awl";
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << "ORGANIZATION_BLOCK OB1\r\nBEGIN\r\nNetwork 1\r\nLD     SM0.0\r\n"
                                             "R      I0.1, 1\r\nLDI    I0.1\r\n=I     Q0.2\r\nEND_ORGANIZATION_BLOCK\r\n";
    MemoryLogSink sink;
    AutoPrompt prompt;
    VirtualScheduler clock;
    Simulator sim(clock, &sink, &prompt);
    FakeObjectServer server;
    ObjectLink& link = sim.attachObjectLink(server);
    ASSERT_EQ(link.start(), ObjectLink::Start::Listening);
    sim.setDialogFileName(path.string());
    sim.myLoadCode();
    sim.scan.continuousRun();
    ASSERT_TRUE(server.peerConnects());
    server.peerSends(describe(1, {2, 3, 0, 0}));
    server.peerSends(dataMessage(1, {0x02}));
    server.take();
    // A pass between two ticks: no input phase has taken I0.1 into the image, and no output
    // phase follows; the immediate instructions reach the object all the same.
    sim.runPass();
    EXPECT_FALSE(sim.memory.bit(1));
    server.peerSends(dataMessage(1, {0x02}));
    const Bytes a = server.take();
    ASSERT_EQ(a.size(), ObjectLink::kDataBytes);
    EXPECT_EQ(a[4], 0x04);  // Q0.2
}

}  // namespace
