#include "device/protocol.h"

#include <gtest/gtest.h>
#include <algorithm>

#include <random>

#include "fake_protocol_host.h"
#include "simulator/thermometer_model.h"

using namespace velmora;

namespace {

struct ProtocolFixture : ::testing::Test {
  test::VirtualTime time;
  test::VirtualTime::Timer& dataTimer = time.make();
  test::VirtualTime::Timer& timeOff = time.make();
  test::FakeProtocolHost host;
  Protocol protocol = makeProtocol();
  Protocol makeProtocol() {
    Protocol p{host, host, dataTimer, timeOff};
    p.setFactorLink(&host);
    return p;
  }

  void SetUp() override {
    dataTimer.onFire = [this] { protocol.DataTimerTimer(); };
    timeOff.onFire = [this] { protocol.TimeOffTimerTimer(); };
  }
  // A block as the serial port delivers it (first byte after opening is dropped).
  void deliver(std::string_view bytes) { protocol.received(host.framing.frame(bytes, 0)); }
  void startRecording() {
    ASSERT_TRUE(protocol.miRecordClick(true));
    host.framing.opened(false);
  }
};

}  // namespace

TEST_F(ProtocolFixture, RecordingPollsAtOnceAndAtTheRate) {
  ASSERT_EQ(protocol.seFlowChange("60"), 60);
  startRecording();
  EXPECT_TRUE(host.recording);
  ASSERT_EQ(host.serialSent.size(), 1u);
  EXPECT_EQ(host.serialSent[0], "d\r");
  EXPECT_EQ(host.status, "|");
  EXPECT_EQ(host.readoutRequests, 1);
  EXPECT_TRUE(protocol.WaitData);
  deliver("  100.123 25.456\r");
  ASSERT_EQ(host.points.size(), 1u);
  EXPECT_EQ(host.points[0].second, 25.456);
  EXPECT_EQ(host.readoutReplies.back(), "100.123 25.456");
  EXPECT_EQ(host.status, "");
  time.advance(1000);
  EXPECT_EQ(host.serialSent.size(), 2u);
}

TEST_F(ProtocolFixture, ReadingAnswers) {
  startRecording();
  deliver("100.123\r");  // no blank: the whole text is the temperature
  ASSERT_EQ(host.points.size(), 1u);
  EXPECT_EQ(host.points[0].second, 100.123);
  protocol.DataTimerTimer();
  deliver("100.123 OVER\r");  // not a number: readout only
  EXPECT_EQ(host.points.size(), 1u);
  EXPECT_EQ(host.readoutReplies.back(), "100.123 OVER");
  protocol.DataTimerTimer();
  deliver("100.123 25.4 \r");  // nothing may follow the number
  EXPECT_EQ(host.points.size(), 1u);
  deliver("100.000 0.000\r");  // nothing awaited: ignored
  EXPECT_EQ(host.points.size(), 1u);
}

TEST_F(ProtocolFixture, LineFramingAcrossBlocks) {
  startRecording();
  deliver("100.1 2");
  EXPECT_TRUE(host.points.empty());
  EXPECT_EQ(protocol.RxBuffer, "100.1 2");
  deliver("1.5\r");
  ASSERT_EQ(host.points.size(), 1u);
  EXPECT_EQ(host.points[0].second, 21.5);
  // Two lines in one block are parsed in order: the second finds nothing awaited.
  protocol.DataTimerTimer();
  deliver("100 1\r100 2\r");
  ASSERT_EQ(host.points.size(), 2u);
  EXPECT_EQ(host.points[1].second, 1);
}

TEST_F(ProtocolFixture, FirstByteAfterOpeningAndBlockLimits) {
  ASSERT_TRUE(protocol.miRecordClick(true));
  EXPECT_TRUE(host.framing.skipsFirstByte());
  EXPECT_EQ(host.purges, 1);
  deliver("x");  // a first block of one character is dropped entirely
  EXPECT_EQ(protocol.RxBuffer, "");
  EXPECT_FALSE(host.framing.skipsFirstByte());
  deliver("100 20\r");
  EXPECT_EQ(host.points.size(), 1u);
  // The settling character is dropped only when it cannot begin an answer: without one, the
  // answer keeps its first digit.
  for (const auto& [first, kept] : std::vector<std::pair<std::string, bool>>{
           {std::string(1, '\0'), false}, {"\xFF", false}, {"\n", false}, {"x", false},
           {"1", true}, {"-", true}, {".", true}, {" ", true}, {"R", true}}) {
    host.framing.opened(true);
    EXPECT_EQ(host.framing.frame(first + "00.004 21.30\r", 0).size(), kept ? 14u : 13u) << int(first[0]);
  }

  protocol.DataTimerTimer();
  std::string big(300, '1');
  big[5] = ' ';
  deliver(big);  // only the first 255 characters count
  EXPECT_EQ(protocol.RxBuffer.size(), 255u);
}

TEST_F(ProtocolFixture, ABlockWithLineErrorsIsDroppedWithoutHoldingUpTheNext) {
  startRecording();
  protocol.received(host.framing.frame("garbled\r", 0x4));
  EXPECT_TRUE(protocol.WaitData);
  deliver("100 22\r");
  EXPECT_EQ(host.points.size(), 1u);
}

TEST_F(ProtocolFixture, PollIntervalFromTheRate) {
  EXPECT_EQ(protocol.seFlowChange("7"), 7);
  EXPECT_EQ(protocol.pollIntervalMs(), 8571);
  EXPECT_EQ(protocol.seFlowChange("0"), 1);
  EXPECT_EQ(protocol.pollIntervalMs(), 60000);
  EXPECT_EQ(protocol.seFlowChange("500"), 120);
  EXPECT_EQ(protocol.pollIntervalMs(), 500);
  EXPECT_FALSE(protocol.seFlowChange("abc").has_value());
  EXPECT_EQ(protocol.pollIntervalMs(), 500);
}

TEST_F(ProtocolFixture, ASilentThermometerIsGivenUpAtTheSixthTimeOut) {
  protocol.seFlowChange("120");
  startRecording();
  deliver("100 20\r");
  time.advance(500);  // next poll, never answered
  const long firstUnanswered = time.now;
  while (host.communicationErrors == 0 && time.now < 60000) time.advance(100);
  EXPECT_EQ(host.communicationErrors, 1);
  EXPECT_NEAR(time.now - firstUnanswered, 12000, 100);
  EXPECT_FALSE(host.recording);
  EXPECT_FALSE(protocol.recording());
  EXPECT_FALSE(dataTimer.active());
  EXPECT_FALSE(timeOff.active());
  EXPECT_FALSE(host.serialOpen);
  EXPECT_EQ(host.points.size(), 1u);  // points kept
}

TEST_F(ProtocolFixture, IsolatedLostAnswersNeverEndALongRecording) {
  // Each lost answer costs one time-out; a good answer in between restores the budget, so
  // sixty isolated losses over a long run leave it recording.
  protocol.seFlowChange("1");
  startRecording();
  for (int i = 0; i < 60; ++i) {
    time.advance(2000);  // time-out: poll repeated
    deliver("100 20\r");
    time.advance(58000);
  }
  EXPECT_TRUE(protocol.recording());
  EXPECT_EQ(host.communicationErrors, 0);
  EXPECT_EQ(protocol.RetriesLeft, Protocol::kRetryBudget);
}

TEST_F(ProtocolFixture, AnyDataStopsTheTimeOut) {
  startRecording();
  EXPECT_TRUE(timeOff.active());
  deliver("noise");
  EXPECT_FALSE(timeOff.active());
}

TEST_F(ProtocolFixture, FactorLineAfterReadFillsTheOldRow) {
  host.serialOpen = true;
  protocol.startCofRead();
  EXPECT_EQ(host.serialSent.back(), "q\r");
  EXPECT_TRUE(protocol.WaitCof);
  deliver("Rt0=100.0120,A=3.908E-3,B=-5.8E-7,C=-4.2E-12\r");
  EXPECT_EQ(host.cof[1][1], "100.012");
  EXPECT_EQ(host.cof[1][2], "3.9080");
  EXPECT_EQ(host.cof[1][3], "-5.8000");
  EXPECT_EQ(host.cof[1][4], "-4.2000");
  EXPECT_FALSE(protocol.ReadingCof);
  EXPECT_FALSE(protocol.WaitCof);
}

TEST_F(ProtocolFixture, ASingleFieldFactorLineFailsOnTheSecondField) {
  host.serialOpen = true;
  protocol.startCofRead();
  deliver("Rt0=100.0120\r");
  EXPECT_EQ(host.cof[1][1], "100.012");
  ASSERT_EQ(host.errors.size(), 1u);
  EXPECT_EQ(host.errors[0], "'' is not a valid floating point value");
  // The read ends with its message: nothing stays marked as being read.
  EXPECT_FALSE(protocol.ReadingCof);
  EXPECT_FALSE(protocol.exchangingFactors());
}

TEST_F(ProtocolFixture, LinesWithoutRt0KeepWaitingForTheFactors) {
  host.serialOpen = true;
  protocol.RetriesLeft = 5;  // left from the start of a recording: a read sets no budget
  protocol.startCofRead();
  time.advance(2000);  // time-out: "q" again with "*"
  EXPECT_EQ(host.serialSent.size(), 2u);
  EXPECT_EQ(host.serialSent.back(), "q\r");
  EXPECT_EQ(host.calibrStatus, "*");
  deliver("hello\r");
  EXPECT_TRUE(protocol.WaitCof);
}

TEST_F(ProtocolFixture, AFactorReadWithoutAUsableAnswerEndsWithTheMessageAfterItsRetries) {
  host.serialOpen = true;
  protocol.RetriesLeft = 1;
  protocol.startCofRead();
  deliver("t0=100.0,A=3.9E-3,B=-5.8E-7,C=-4.2E-12\r");  // not a factor line: data, but no answer
  EXPECT_TRUE(timeOff.active());                         // the time-out runs again
  time.advance(2000);
  EXPECT_EQ(host.serialSent.back(), "q\r");
  deliver("Rt0=100.0,A=3.9E-");  // a line that never ends
  time.advance(2000);
  EXPECT_EQ(host.communicationErrors, 1);
  EXPECT_FALSE(protocol.ReadingCof);  // nothing left highlighted
  // A closed link is opened again by the next Read.
  host.serialOpen = false;
  protocol.startCofRead();
  EXPECT_TRUE(host.serialOpen);
}

TEST(CofWriteCommand, CellTextAndScaleWithNothingBetween) {
  EXPECT_EQ(cofWriteCommand(1, "3.9083"), "wA3.90831e-3");
  EXPECT_EQ(cofWriteCommand(0, "100.05"), "wR100.05");
  EXPECT_EQ(cofWriteCommand(3, "-4.1830"), "wC-4.18301e-12");
  // A cell typed with other decimals is brought to the column's four first: the scale text
  // must never lengthen the number ("-5.775" + "1e-7" would be -5.7751).
  EXPECT_EQ(cofWriteCommand(2, "-5.775"), "wB-5.77501e-7");
  EXPECT_EQ(cofWriteCommand(1, " 3.9"), "wA3.90001e-3");
  EXPECT_EQ(cofWriteCommand(3, "-4.18304"), "wC-4.18301e-12");
}

TEST(CofWriteCommand, ReadBackIsComparedAtThePrecisionOfTheAnswer) {
  struct Case {
    const char* answer;
    double read, written;  // in the table's units
    int scaleExponent, decimals;
    bool same;
  } cases[] = {
      {"-5.775E-07", -5.775, -5.7750, 7, 4, true},      // three decimals carried: not a mismatch
      {"-5.77501E-07", -5.77501, -5.7750, 7, 4, true},  // the scale's appended 1 is below the table
      {"-5.7808E-07", -5.7808, -5.7750, 7, 4, false},
      {"-5.78E-07", -5.78, -5.775, 7, 4, true},         // -5.775 rounds to -5.78 at two decimals
      {"-5.77E-07", -5.77, -5.775, 7, 4, false},
      {"100.0120", 100.012, 100.012, 0, 3, true},
      {"100", 100, 100.4, 0, 3, true},
      {"100", 100, 100.6, 0, 3, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sameAtAnswerPrecision(c.answer, c.read, c.written, c.scaleExponent, c.decimals), c.same) << c.answer;
}

// The instrument's model answers each command after it went out; the factors to write are set.
namespace {
struct VerifyFixture : ProtocolFixture {
  sim::ThermometerModel model;
  std::vector<std::string> pending;
  void SetUp() override {
    ProtocolFixture::SetUp();
    host.onSend = [this](std::string_view t) {
      auto reply = model.receive(t, 0);
      if (!reply.empty()) pending.push_back(reply);
    };
    host.serialOpen = true;
    host.cof[2][1] = "100.012";
    host.cof[2][2] = "3.9080";
    host.cof[2][3] = "-5.8000";
    host.cof[2][4] = "-4.2000";
  }
  void answerAll() {
    while (!pending.empty()) {
      const std::string reply = pending.front();
      pending.erase(pending.begin());
      deliver(reply);
    }
  }
};
}  // namespace

TEST_F(VerifyFixture, WriteSequenceAgainstTheInstrumentModel) {
  protocol.startCofWrite();
  answerAll();
  std::vector<std::string> sent = host.serialSent;
  const std::vector<std::string> expected = {"wR100.012\r", "wY\r", "wA3.90801e-3\r", "wY\r",
                                             "wB-5.80001e-7\r", "wY\r", "wC-4.20001e-12\r", "wY\r"};
  EXPECT_EQ(sent, expected);
  EXPECT_FALSE(protocol.WritingCof);
  EXPECT_EQ(protocol.pbWrite(), 0);
  EXPECT_EQ(host.calibrStatus, "");
  EXPECT_DOUBLE_EQ(model.stored.R0, 100.012);
  EXPECT_DOUBLE_EQ(model.stored.A, 3.908e-3);
  EXPECT_DOUBLE_EQ(model.stored.C, -4.2e-12);
  EXPECT_EQ(host.cof[2][2], "3.9080");  // confirmed by the instrument
}

TEST_F(ProtocolFixture, WrongEchoIsRejectedAndTheFactorSentAgainAtOnce) {
  host.serialOpen = true;
  host.refuseWhileSending = true;  // a link still busy with one write refuses the next
  host.cof[2][1] = "100.000";
  protocol.WritingCof = true;
  protocol.WriteNextCof(0);
  EXPECT_EQ(host.calibrStatus, "|");
  host.sending = false;
  deliver("WR100.000\r");  // differs only in letter case: wrong
  // "wN" and the repeated write leave in one write, so nothing waits for a time-out.
  ASSERT_EQ(host.serialSent.size(), 2u);
  EXPECT_EQ(host.serialSent[1], "wN\rwR100.000\r");
  EXPECT_TRUE(host.refused.empty());
  EXPECT_EQ(host.calibrStatus, "|-");  // the resend sets "|", then "-" is appended
  host.sending = false;
  deliver("wN\r");  // an echo of "wN" itself is not answered with "wN"
  EXPECT_EQ(host.serialSent.back(), "wR100.000\r");
  EXPECT_EQ(host.serialSent.size(), 3u);
  host.sending = false;
  deliver("wR100.000\r");
  EXPECT_EQ(host.serialSent.back(), "wY\r");
  EXPECT_EQ(host.calibrStatus, "|-+");
}

// On a busy machine the link may still be writing the factor when its echo is back: the "wY"
// it refuses is sent again at the time-out — asking "q" instead would take the factors the
// instrument still holds for the answer and lose the write.
TEST_F(ProtocolFixture, ARefusedConfirmationIsSentAgainNotReplacedByARead) {
  host.serialOpen = true;
  host.refuseWhileSending = true;
  host.cof[2][1] = "100.032";
  host.cof[2][2] = "3.9083";
  protocol.WritingCof = true;
  protocol.WriteNextCof(0);
  deliver("wR100.032\r");  // the echo, while the write is still in progress
  ASSERT_EQ(host.refused, (std::vector<std::string>{"wY\r"}));
  host.sending = false;
  protocol.TimeOffTimerTimer();
  EXPECT_EQ(host.serialSent.back(), "wY\r");
  EXPECT_TRUE(std::find(host.serialSent.begin(), host.serialSent.end(), "q\r") == host.serialSent.end());
  host.sending = false;
  deliver("Rt0=100.0320,A=3.9083E-03,B=-5.7750E-07,C=-4.1830E-12\r");
  EXPECT_EQ(host.serialSent.back().rfind("wA3.9083", 0), 0u) << host.serialSent.back();  // on to the next factor
}

TEST_F(ProtocolFixture, AnInvalidNewCellStopsTheWrite) {
  host.serialOpen = true;
  host.cof[2][1] = "-";
  protocol.startCofWrite();
  EXPECT_EQ(host.rejectedCell, 0);
  EXPECT_FALSE(protocol.WritingCof);
  EXPECT_TRUE(host.serialSent.empty());
}

TEST_F(ProtocolFixture, APollCutsOffACoefficientExchange) {
  host.serialOpen = true;
  protocol.startCofRead();
  protocol.DataTimerTimer();
  EXPECT_FALSE(protocol.WaitCof);
  deliver("Rt0=1,A=1,B=1,C=1\r");
  EXPECT_EQ(host.cof[1][1], "");
}

TEST_F(ProtocolFixture, AStartThatFailsLeavesRecordingOff) {
  host.serialOpens = false;
  EXPECT_FALSE(protocol.miRecordClick(true));
  EXPECT_FALSE(host.recording);
  EXPECT_FALSE(dataTimer.active());
}

TEST_F(ProtocolFixture, BadInstrumentBytesNeverGrowTheBufferOrCrash) {
  startRecording();
  deliver(std::string(10000, 'A'));
  EXPECT_LE(protocol.RxBuffer.size(), Protocol::kMaxRxBuffer);
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> byte(0, 255), len(0, 400);
  for (int i = 0; i < 5000; ++i) {
    std::string block(static_cast<size_t>(len(rng)), '\0');
    for (auto& c : block) c = static_cast<char>(byte(rng));
    if (i % 7 == 0) protocol.DataTimerTimer();
    if (i % 11 == 0) protocol.startCofRead();
    if (i % 13 == 0) {
      host.cof[2][1] = "100";
      protocol.startCofWrite();
    }
    protocol.received(host.framing.frame(block, i % 17 == 0 ? 1u : 0u));
    ASSERT_LE(protocol.RxBuffer.size(), Protocol::kMaxRxBuffer);
  }
}

TEST_F(ProtocolFixture, AnUnterminatedLineKeepsOnlyItsNewest4KiBAndLinesAreCutAt255) {
  startRecording();
  // 10,000 characters without CR arriving in blocks of 7.
  std::string text;
  for (int i = 0; i < 10000; ++i) text.push_back(static_cast<char>('a' + i % 26));
  for (std::size_t i = 0; i < text.size(); i += 7) protocol.received(std::string_view(text).substr(i, 7));
  EXPECT_EQ(protocol.RxBuffer.size(), Protocol::kMaxRxBuffer);
  EXPECT_EQ(protocol.RxBuffer, text.substr(text.size() - Protocol::kMaxRxBuffer));
  // A line ends: only its first 255 characters reach the parser.
  protocol.RxBuffer.clear();
  // 255 characters of a number, then text that would spoil it: the cut drops the text.
  const std::string longAnswer = "100.000 " + std::string(247, '2') + "xyz";
  protocol.received(longAnswer + "\r");
  ASSERT_FALSE(host.readoutReplies.empty());
  EXPECT_EQ(host.readoutReplies.back(), longAnswer.substr(0, 255));
  ASSERT_EQ(host.points.size(), 1u);
  EXPECT_GT(host.points[0].second, 2.2e246);
}

TEST_F(ProtocolFixture, AnAnswerTooLargeForADoubleIsShownButNotRecorded) {
  startRecording();
  deliver("100.000 1e999\r");
  EXPECT_EQ(host.readoutReplies.back(), "100.000 1e999");
  EXPECT_TRUE(host.points.empty());
  protocol.DataTimerTimer();
  deliver("100.000 -1e400\r");
  EXPECT_TRUE(host.points.empty());
  protocol.DataTimerTimer();
  deliver("100.000 21.5\r");
  ASSERT_EQ(host.points.size(), 1u);
  EXPECT_EQ(host.points[0].second, 21.5);
}

namespace {
// The instrument answering each poll 40 ms later (while `present`), in virtual time.
struct LiveInstrument {
  test::VirtualTime& time;
  Protocol& protocol;
  test::FakeProtocolHost& host;
  test::VirtualTime::Timer& reply;
  bool present = true;
  std::string answer = "100.000 21.50\r";
  LiveInstrument(test::VirtualTime& t, Protocol& p, test::FakeProtocolHost& h)
      : time(t), protocol(p), host(h), reply(t.make()) {
    reply.onFire = [this] {
      reply.stop();
      protocol.received(answer);
    };
    host.onSend = [this](std::string_view text) {
      if (present && text == "d\r") reply.start(40);
    };
  }
};
}  // namespace

TEST_F(ProtocolFixture, WithReconnectOnAnOutageKeepsRecordingAndShowsItsTrueLength) {
  test::VirtualTime::Timer& reconnect = time.make();
  reconnect.onFire = [this] { protocol.ReconnectTimerTimer(); };
  protocol.setReconnectTimer(&reconnect);
  protocol.setReconnect(true, 600000);
  LiveInstrument instrument(time, protocol, host);
  protocol.seFlowChange("60");
  startRecording();
  time.advance(5000);
  const std::size_t before = host.points.size();
  ASSERT_GE(before, 5u);
  instrument.present = false;  // the cable is pulled for 20 s
  time.advance(20000);
  EXPECT_EQ(host.communicationErrors, 0);
  EXPECT_TRUE(protocol.recording());
  EXPECT_TRUE(protocol.reconnecting());
  ASSERT_FALSE(host.reconnectAttempts.empty());
  EXPECT_EQ(host.reconnectAttempts.front(), 1);
  instrument.present = true;
  time.advance(4000);
  EXPECT_FALSE(protocol.reconnecting());
  EXPECT_EQ(host.restored, 1);
  EXPECT_GT(host.points.size(), before);
  time.advance(3000);
  EXPECT_TRUE(protocol.recording());
  EXPECT_TRUE(host.serialOpen);
}

TEST_F(ProtocolFixture, TheReconnectLimitEndsWithTheCommunicationError) {
  test::VirtualTime::Timer& reconnect = time.make();
  reconnect.onFire = [this] { protocol.ReconnectTimerTimer(); };
  protocol.setReconnectTimer(&reconnect);
  protocol.setReconnect(true, 10000);
  startRecording();  // nobody answers
  time.advance(12000);  // the sixth time-out: reconnecting instead of the error
  EXPECT_EQ(host.communicationErrors, 0);
  EXPECT_TRUE(protocol.reconnecting());
  time.advance(12000);
  EXPECT_EQ(host.communicationErrors, 1);
  EXPECT_FALSE(protocol.recording());
  EXPECT_FALSE(protocol.reconnecting());
  EXPECT_EQ(host.reconnectAttempts.size(), 5u);  // every 2 s within the 10-s limit
}

TEST_F(ProtocolFixture, RecordOffWhileReconnectingStopsCleanlyAndALostLinkStartsAtOnce) {
  test::VirtualTime::Timer& reconnect = time.make();
  reconnect.onFire = [this] { protocol.ReconnectTimerTimer(); };
  protocol.setReconnectTimer(&reconnect);
  protocol.setReconnect(true, 600000);
  startRecording();
  protocol.linkLost();  // the device went away: no need to wait for six time-outs
  EXPECT_TRUE(protocol.reconnecting());
  EXPECT_FALSE(host.serialOpen);
  time.advance(2000);
  EXPECT_EQ(host.reconnectAttempts.size(), 1u);
  EXPECT_FALSE(protocol.miRecordClick(false));
  EXPECT_FALSE(protocol.reconnecting());
  time.advance(60000);
  EXPECT_EQ(host.reconnectAttempts.size(), 1u);
  EXPECT_EQ(host.communicationErrors, 0);
  EXPECT_FALSE(reconnect.isActive);
  // Without the option a lost link changes nothing until the time-outs end it.
  protocol.setReconnect(false, 600000);
  startRecording();
  protocol.linkLost();
  EXPECT_FALSE(protocol.reconnecting());
}

TEST_F(ProtocolFixture, TenPollsOfGarbageRaiseTheWarningAValidReadingClearsIt) {
  LiveInstrument instrument(time, protocol, host);
  instrument.answer = "\x01##?? garbage\r";
  protocol.seFlowChange("120");
  startRecording();
  time.advance(500 * 9);  // nine polls answered, the tenth sent
  EXPECT_TRUE(host.invalidWarnings.empty());
  time.advance(100);  // the tenth answer: the warning comes with it, not with the eleventh poll
  ASSERT_EQ(host.invalidWarnings.size(), 1u);
  EXPECT_TRUE(host.invalidWarnings[0]);
  EXPECT_TRUE(protocol.recording());  // no box, the recording goes on
  EXPECT_EQ(host.communicationErrors, 0);
  instrument.answer = "100.000 21.50\r";
  time.advance(600);
  ASSERT_EQ(host.invalidWarnings.size(), 2u);
  EXPECT_FALSE(host.invalidWarnings[1]);
  // Polls that bring nothing at all are not garbage.
  instrument.present = false;
  time.advance(11000);
  EXPECT_EQ(host.invalidWarnings.size(), 2u);
}

// ---------------------------------------------------------------- a write read back


TEST_F(VerifyFixture, OffByDefaultTheWriteEndsAsDesignedWithoutAReadBack) {
  EXPECT_FALSE(protocol.verifyWrite());
  protocol.startCofWrite();
  answerAll();
  EXPECT_EQ(host.serialSent.back(), "wY\r");
  EXPECT_TRUE(host.verifications.empty());
}

TEST_F(VerifyFixture, ACleanWriteIsVerifiedByReadingTheFactorsBack) {
  protocol.setVerifyWrite(true);
  protocol.startCofWrite();
  answerAll();
  EXPECT_EQ(host.serialSent.back(), "q\r");
  ASSERT_EQ(host.verifications.size(), 1u);
  EXPECT_TRUE(host.verifications[0].empty());
  EXPECT_FALSE(protocol.VerifyingCof);
  EXPECT_FALSE(protocol.WaitCof);
  EXPECT_EQ(host.cof[1][1], "");  // the read-back leaves the "Old" row alone
}

TEST_F(VerifyFixture, AnInstrumentStoringAnotherValueIsReportedWithTheFactor) {
  protocol.setVerifyWrite(true);
  model.faults.storeDifferent = 1;  // A stored 0.1 % off
  protocol.startCofWrite();
  answerAll();
  ASSERT_EQ(host.verifications.size(), 1u);
  ASSERT_EQ(host.verifications[0].size(), 1u);
  const auto& m = host.verifications[0][0];
  EXPECT_EQ(m.index, 1);
  EXPECT_EQ(m.written, "3.9080");
  EXPECT_EQ(m.read, "3.9119");
}

TEST_F(VerifyFixture, AReadBackWithoutAnswerOrWithGarbageIsReportedNotSilent) {
  protocol.setVerifyWrite(true);
  protocol.startCofWrite();
  // The instrument falls silent before the read-back: the retries, then the failure.
  host.onSend = [this](std::string_view t) {
    if (t != "q\r") {
      auto reply = model.receive(t, 0);
      if (!reply.empty()) pending.push_back(reply);
    }
  };
  answerAll();
  ASSERT_TRUE(protocol.VerifyingCof);
  time.advance(20000);
  ASSERT_EQ(host.readBackFailures.size(), 1u);
  EXPECT_EQ(host.readBackFailures[0], "");  // no answer
  EXPECT_EQ(host.communicationErrors, 1);
  EXPECT_TRUE(host.verifications.empty());
  // A garbled factor line.
  host.readBackFailures.clear();
  host.onSend = [this](std::string_view t) {
    if (t == "q\r")
      pending.push_back("Rt0=100.012,A=x,B=1,C=1\r");
    else if (auto reply = model.receive(t, 0); !reply.empty())
      pending.push_back(reply);
  };
  protocol.startCofWrite();
  answerAll();
  ASSERT_EQ(host.readBackFailures.size(), 1u);
  EXPECT_NE(host.readBackFailures[0].find("'x'"), std::string::npos) << host.readBackFailures[0];
}

// An answer that comes after the next tick (a busy program hands it over late) belongs to the
// poll it answers: the tick waits for it, and the poll goes out as soon as it has come. Over a
// long run with answers late by up to three poll intervals, every poll answered is one reading.
TEST_F(ProtocolFixture, LateAnswersAreNeverCreditedToAnotherPollNorLost) {
  for (const int lateMs : {0, 300, 700, 1400}) {
    SCOPED_TRACE(lateMs);
    host.points.clear();
    host.serialSent.clear();
    protocol.seFlowChange("120");
    startRecording();
    std::mt19937 random(static_cast<unsigned>(lateMs));
    int answered = 0;
    for (int round = 0; round < 200; ++round) {
      time.advance(std::uniform_int_distribution<int>(0, lateMs)(random));
      // Never two polls out without an answer between them.
      ASSERT_LE(static_cast<int>(host.serialSent.size()), answered + 1);
      if (protocol.WaitData) {
        ++answered;
        deliver("100." + std::to_string(answered) + " " + std::to_string(answered) + "\r");
      }
      time.advance(50);
    }
    ASSERT_EQ(static_cast<int>(host.points.size()), answered);
    for (int i = 0; i < answered; ++i) ASSERT_EQ(host.points[static_cast<std::size_t>(i)].second, i + 1);
    EXPECT_EQ(host.communicationErrors, 0);
    protocol.miRecordClick(false);
  }
}

// While recording, a factor read takes one poll's place; the reading that tick would have
// asked for follows as soon as the factors have come.
TEST_F(ProtocolFixture, AFactorReadWhileRecordingTakesOnePollsPlace) {
  protocol.seFlowChange("120");
  startRecording();
  deliver("100 1\r");
  protocol.readFactorsAtNextPoll();
  time.advance(500);
  EXPECT_EQ(host.serialSent.back(), "q\r");
  time.advance(500);  // a tick while the factors are awaited
  EXPECT_EQ(host.serialSent.back(), "q\r");
  deliver("Rt0=100.01,A=3.9083e-3,B=-5.775e-7,C=-4.183e-12\r");
  EXPECT_EQ(host.cof[1][1], "100.010");
  EXPECT_EQ(host.serialSent.back(), "d\r");  // the tick's poll, at once
  deliver("100 2\r");
  ASSERT_EQ(host.points.size(), 2u);
  EXPECT_TRUE(protocol.recording());
  protocol.miRecordClick(false);
  protocol.readFactorsAtNextPoll();  // not recording: nothing
  EXPECT_EQ(host.serialSent.back(), "d\r");
}
