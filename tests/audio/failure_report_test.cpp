// The failure policy: numbered log lines, EDDSD, halting, and GetChannels' range check.
#include <gtest/gtest.h>

#include <fstream>

#include "audio_test_support.h"

namespace velmo::testing {
namespace {

constexpr const char* kChannel8Message = "チャンネル番号8は無効です、0～7の範囲で指定してください";

TEST(FailureReport, LogLinesAreNumberedAcrossMessagesAndTheFileIsReopenedEachTime) {
  LogCapture log;
  TDDSD device;
  device.SetDebugOption(dsoDebugMessage);
  const int32_t before = DebugLogMessageCount();
  ReportError("first");
  EXPECT_EQ(CheckResult(kErrInvalidParam, "second"), kErrInvalidParam);
  EXPECT_EQ(CheckResult(1, "third"), 1);  // any non-zero result counts
  EXPECT_EQ(CheckResult(kOk, "not reported"), kOk);
  const std::vector<std::string> lines = log.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], FormatMessage("debug#%.5d ... first", before + 1));
  EXPECT_EQ(lines[1], FormatMessage("debug#%.5d ... second(Error Code(80070057))", before + 2));
  EXPECT_EQ(lines[2], FormatMessage("debug#%.5d ... third(Error Code(1))", before + 3));
  EXPECT_EQ(DebugLogMessageCount(), before + 3);
}

TEST(FailureReport, FirstMessageOfARunRecreatesTheLog) {
  if (DebugLogMessageCount() != 0) GTEST_SKIP() << "messages were logged earlier in this process";
  LogCapture log;
  std::ofstream(DebugLogPath()) << "stale line\n";
  TDDSD device;
  device.SetDebugOption(dsoDebugMessage);
  ReportError("fresh");
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"debug#00001 ... fresh"});
}

TEST(FailureReport, LogLivesBesideTheExecutableUnlessRedirected) {
  SetDebugLogDirectory({});
  EXPECT_EQ(DebugLogPath(),
            std::filesystem::read_symlink("/proc/self/exe").parent_path() / "DDSD_DebugLog.txt");
}

TEST(FailureReport, ExceptOnErrorRaisesEDDSDAfterLogging) {
  LogCapture log;
  TDDSD device;
  device.SetDebugOption(dsoDebugMessage | dsoExceptOnError | dsoHaltOnError);
  try {
    CheckResult(kErrBadFormat, "boom");
    FAIL() << "no exception";
  } catch (const EDDSD& error) {
    EXPECT_STREQ(error.what(), "boom(Error Code(88780064))");
  }
  EXPECT_EQ(log.Lines().size(), 1u);  // logged first, and the raise stopped the halt
}

TEST(FailureReport, NoOptionsMeansSilence) {
  LogCapture log;
  TDDSD device;
  device.SetDebugOption(0);
  EXPECT_EQ(CheckResult(kErrInvalidParam, "quiet"), kErrInvalidParam);
  EXPECT_TRUE(log.Lines().empty());
}

TEST(FailureReportDeathTest, CheckResultHaltsWithFailureStatusAndMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        TDDSD device;  // defaults to [dsoHaltOnError]
        CheckResult(kErrNoDriver, "halt");
      },
      ::testing::ExitedWithCode(1), "halt\\(Error Code\\(88780078\\)\\)");
}

TEST(GetChannels, ValidIndexesAndReportedOutOfRangeIndexes) {
  LogCapture log;
  VirtualAudio audio(dsoDebugMessage);
  EXPECT_NE(audio.device.GetChannels(0), nullptr);
  EXPECT_NE(audio.device.GetChannels(7), audio.device.GetChannels(0));
  EXPECT_NE(audio.device.GetChannels(7), nullptr);
  EXPECT_EQ(audio.device.GetChannels(8), nullptr);
  EXPECT_EQ(audio.device.GetChannels(-1), nullptr);
  const std::vector<std::string> lines = log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(std::string(" ... ") + kChannel8Message), std::string::npos);
  EXPECT_NE(lines[1].find("チャンネル番号-1は無効です、0～7の範囲で指定してください"),
            std::string::npos);
}

TEST(GetChannelsDeathTest, OutOfRangeHaltsWithFailureStatusAndMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        VirtualAudio audio(dsoHaltOnError);
        audio.device.GetChannels(8);
      },
      ::testing::ExitedWithCode(1), kChannel8Message);
}

TEST(GetChannels, ChannelCountTakesEffectAtInitialisation) {
  LogCapture log;
  TDDSD device;
  device.SetDebugOption(dsoDebugMessage);
  device.setBackendName("virtual");
  device.setChannelCount(0);  // at least one
  EXPECT_EQ(device.getChannelCount(), 1u);
  device.setChannelCount(3);
  EXPECT_TRUE(device.forceInitialize());
  EXPECT_NE(device.GetChannels(2), nullptr);
  EXPECT_EQ(device.GetChannels(3), nullptr);
}

TEST(PrimaryFormat, RefusedFormatIsReportedAndAGoodOneChangesTheOutput) {
  LogCapture log;
  VirtualAudio audio(dsoDebugMessage);
  audio.device.SetPrimaryBufferFotmat(22050, 12, true);
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_NE(log.Lines()[0].find(
                "プライマリ・バッファのフォーマットの設定に失敗しました(Error Code(88780064))"),
            std::string::npos);
  audio.device.SetPrimaryBufferFotmat(11025, 8, false);
  EXPECT_EQ(audio.Backend().Format().samplesPerSec, 11025u);
  EXPECT_EQ(audio.Backend().Format().channels, 1);
  EXPECT_EQ(audio.Backend().Format().bitsPerSample, 8);
}

}  // namespace
}  // namespace velmo::testing
