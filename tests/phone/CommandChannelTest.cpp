// The command channel against a phone played by the test on a loopback
// socket: the bytes it sends, the roster hand-shake, the keep-alive and the
// repair of a lost connection.

#include "phone/AndroidCommandChannel.h"
#include "phone/PhonePacket.h"
#include "tests/phone/PhonePeer.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

const std::string kId = "0123456789abcdef0123456789abcdef";

// A channel connected to a PhonePeer, with a clock the test sets and counts,
// and its grants counted.
class CommandChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_channel.SetClock([this] {
            m_clock.Change([this] { ++m_nClockReads; });
            return m_nNow.load();
        });
        ASSERT_TRUE(m_channel.Connect("127.0.0.1", m_peer.Port(), [this] { ++m_nGrants; }));
        ASSERT_TRUE(m_peer.Accept());
    }
    // Sets the clock, then returns once the receive loop has read it n times.
    bool SetNow(uint32_t nNow, int nReads) {
        m_nNow = nNow;
        int nTarget = 0;
        m_clock.Change([&] { nTarget = m_nClockReads + nReads; });
        return m_clock.Wait([&] { return m_nClockReads >= nTarget; });
    }
    // The next packet of nType the phone receives; empty, and a failure,
    // when none comes.
    Bytes Next(int nType) {
        Bytes packet;
        EXPECT_TRUE(m_peer.NextPacket(nType, packet)) << "no packet of type " << nType;
        return packet;
    }

    PhonePeer m_peer;
    Signal m_clock;
    std::atomic<uint32_t> m_nNow{1000};
    int m_nClockReads = 0;
    std::atomic<int> m_nGrants{0};
    // Last, so that it is gone (its thread stopped) before what its clock uses.
    AndroidCommandChannel m_channel;
};

Bytes Roster(const std::vector<int32_t>& fields) {
    return CommandPacket(PhonePacket::kRoster, fields);
}
Bytes Join(int32_t nIdentity, int32_t nSlot) {
    return Roster({PhonePacket::kRosterJoin, nIdentity, nSlot, 0});
}
Bytes State(int32_t nIdentity, int32_t nSlot) {
    return Roster({PhonePacket::kRosterState, nIdentity, nSlot, 0, 0});
}

} // namespace

TEST_F(CommandChannelTest, SendsTheExactBytesAndKeepsAliveEveryFourSecondsOfItsClock) {
    EXPECT_TRUE(m_channel.SendControl(4, 0));
    EXPECT_EQ(Next(PhonePacket::kControl),
              Hex("34 03 FA 7F 14 00 00 00 04 00 00 00 00 00 00 00 CB FC 05 80"));

    m_channel.SendJoin();
    EXPECT_EQ(Next(PhonePacket::kRoster), Hex("37 03 FA 7F 10 00 00 00 03 00 00 00 C8 FC 05 80"));

    m_channel.SendHello(kId, kId);
    const Bytes id(kId.begin(), kId.end());
    EXPECT_EQ(Next(PhonePacket::kHello),
              Concat({Hex("38 04 FA 7F 6E 00 00 00 20 00 00 00"), id, Hex("00 00 00 00"),
                      Hex("20 00 00 00"), id,
                      // 0x1403, 1, 1, 0, 0, 0, 0, empty string, tail
                      Hex("03 14  01 00 00 00  01 00  00 00  00 00  00 00  00 00 00 00 "
                          "00 00 00 00  C7 FB 05 80")}));

    // The phone's RosterJoin reply for identity 7 and slot 1.
    ASSERT_TRUE(m_peer.Send(Join(7, 1)));
    EXPECT_EQ(Next(PhonePacket::kRoster),
              Hex("37 03 FA 7F 14 00 00 00 02 00 00 00 07 00 00 00 C8 FC 05 80"));

    // The keep-alive of the first pass carries the clock's 1000 seconds.
    EXPECT_EQ(Next(PhonePacket::kKeepAlive),
              Hex("23 03 FA 7F 10 00 00 00 E8 03 00 00 DC FC 05 80"));

    // 3 seconds on: passes go by without a keep-alive. A control sent after
    // them marks the end of what they could have sent.
    ASSERT_TRUE(SetNow(1003, 2));
    ASSERT_TRUE(m_channel.SendControl(6, 0));
    Next(PhonePacket::kControl);
    for (const Bytes& queued : m_peer.Queued()) {
        EXPECT_NE(Int32At(queued, 0), PhonePacket::PacketHead(PhonePacket::kKeepAlive));
    }
    ASSERT_TRUE(SetNow(1004, 0));
    EXPECT_EQ(Int32At(Next(PhonePacket::kKeepAlive), 8), 1004);
}

TEST_F(CommandChannelTest, AnswersTheRosterAsThePhoneMovesThisPc) {
    Bytes brokenTail = Join(5, 1);
    brokenTail.back() ^= 0x01;
    // A RosterJoin reply announcing two triples but holding one.
    const Bytes endsEarly = Roster({PhonePacket::kRosterJoin, 5, 1, 2, 2, 4, 5});
    const Bytes otherTypes =
        Concat({CommandPacket(PhonePacket::kKeepAlive, {PhonePacket::kRosterJoin, 5, 1, 0}),
                CommandPacket(PhonePacket::kControl, {PhonePacket::kRosterJoin, 5, 1, 0})});

    // Answers as "I<identity>" for RosterIdentity, "R<identity>" for a
    // RosterReport, each followed by a space.
    const struct {
        const char* szName;
        Bytes phoneSends;
        const char* szAnswers; // before the marker's
        int nGrants;
    } cases[] = {
        {"RosterJoin reply for slot 1 grants", Join(5, 1), "I5 ", 1},
        {"RosterJoin reply for slot 2 asks for slot 1", Join(5, 2), "I5 R5 ", 0},
        {"RosterState from 2 to 1 grants", Concat({Join(5, 2), State(5, 1)}), "I5 R5 ", 1},
        {"RosterState from 1 to 1 does not", Concat({Join(5, 1), State(5, 1)}), "I5 ", 1},
        {"each entry into slot 1 grants", Concat({Join(5, 1), State(5, 2), State(5, 1)}), "I5 ", 2},
        {"a broken tail is ignored, the next one not", Concat({brokenTail, Join(6, 1)}), "I6 ", 1},
        {"a payload that ends early is dropped", endsEarly, "", 0},
        {"other packet types are skipped", otherTypes, "", 0},
    };
    // The marker's answers come after everything a case caused; it puts
    // this PC into slot 2 for the next case.
    constexpr int32_t kMarker = 99;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        const int nGrantsBefore = m_nGrants;
        ASSERT_TRUE(m_peer.Send(Concat({c.phoneSends, Join(kMarker, 2)})));
        std::string strAnswers;
        Bytes packet;
        while (m_peer.NextPacket(PhonePacket::kRoster, packet)) {
            const bool bReport = Int32At(packet, 8) == PhonePacket::kRosterReport;
            strAnswers += (bReport ? "R" : "I") + std::to_string(Int32At(packet, 12)) + " ";
            if (bReport && Int32At(packet, 12) == kMarker) {
                break;
            }
        }
        EXPECT_EQ(strAnswers, c.szAnswers + std::string("I99 R99 "));
        EXPECT_EQ(m_nGrants - nGrantsBefore, c.nGrants);
    }
}

TEST_F(CommandChannelTest, ReportsWhatThePhoneToldItOfEverySlot) {
    Bytes packet;
    // Slot 3 gets the pair (7, 99), slot 2 the triple's (4, 5); property 23
    // and slot 12 are out of range and ignored (also as the PC's own slot);
    // then the reply for slot 2 marks (7, 99) in slot 1.
    ASSERT_TRUE(m_peer.Send(
        Concat({Roster({PhonePacket::kRosterState, 9, 3, 2, 7, 99, 23, 1, 2, 2, 4, 5, 12, 1, 1}),
                Roster({PhonePacket::kRosterState, 9, 12, 1, 7, 99, 0}),
                Roster({PhonePacket::kRosterJoin, 7, 2, 1, 1, 7, 99})})));
    Next(PhonePacket::kRoster); // identity
    EXPECT_EQ(Next(PhonePacket::kRoster),
              Roster({PhonePacket::kRosterReport, 7, 1, 1, 7, 99, 2, 2, 4, 5, 3, 7, 99}));

    // Every property of every slot: the largest report there is, with the
    // last slot's last value at its end.
    for (int32_t nSlot = 1; nSlot < AndroidCommandChannel::kSlots; ++nSlot) {
        std::vector<int32_t> fields = {PhonePacket::kRosterState, 7, nSlot, 22};
        for (int32_t nProperty = 1; nProperty <= 22; ++nProperty) {
            fields.insert(fields.end(), {nProperty, nSlot * 100 + nProperty});
        }
        fields.push_back(0);
        ASSERT_TRUE(m_peer.Send(Roster(fields)));
    }
    ASSERT_TRUE(m_peer.Send(Join(7, 2)));
    do {
        ASSERT_TRUE(m_peer.NextPacket(PhonePacket::kRoster, packet));
    } while (Int32At(packet, 8) != PhonePacket::kRosterReport);
    ASSERT_EQ(packet.size(), 2848u);
    EXPECT_EQ(Int32At(packet, 20), 22);           // pairs of slot 1
    EXPECT_EQ(Int32At(packet, 24 + 22 * 8), 220); // triples of slots 2 to 11
    EXPECT_EQ(Bytes(packet.end() - 16, packet.end()),
              Concat({Hex("0B 00 00 00 16 00 00 00 62 04 00 00"), Hex("C8 FC 05 80")}));
}

TEST_F(CommandChannelTest, IntroducesItselfAgainOnANewConnection) {
    m_channel.SendHello(kId, kId);
    m_channel.SendJoin();
    const Bytes hello = Next(PhonePacket::kHello);
    const Bytes join = Next(PhonePacket::kRoster);

    // The phone's application restarts: the connection closes and a new
    // one is taken at once. The clock stands still, so after the first
    // keep-alive nothing is sent: the receive loop alone has to notice.
    Next(PhonePacket::kKeepAlive);
    m_peer.HangUp();
    ASSERT_TRUE(m_peer.Accept());
    EXPECT_EQ(Next(PhonePacket::kHello), hello);
    EXPECT_EQ(Next(PhonePacket::kRoster), join);
    ASSERT_TRUE(m_peer.Send(Join(7, 1)));
    EXPECT_EQ(Int32At(Next(PhonePacket::kRoster), 8), PhonePacket::kRosterIdentity);

    // The phone goes for good: sends fail after a bounded number of
    // attempts (a send may still land in the socket's buffer until the
    // end of the connection is seen), and Disconnect returns.
    m_peer.StopListening();
    m_peer.HangUp();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool bFailed = false;
    while (!bFailed && std::chrono::steady_clock::now() < deadline) {
        bFailed = !m_channel.SendControl(5, 0);
    }
    EXPECT_TRUE(bFailed);
    m_channel.Disconnect();
    EXPECT_FALSE(m_channel.IsOpen());
    EXPECT_FALSE(m_channel.SendControl(5, 0));
}
