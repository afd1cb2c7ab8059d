// Scripted prompts and the fake clock: the engine tests lean on both for their expectations.
#include <gtest/gtest.h>

#include "platform/memory/FakeClock.h"
#include "platform/memory/ScriptedPrompts.h"

namespace tw {
namespace {

TEST(ScriptedPromptsTest, AnswersFromTheScriptThenCautiously) {
  ScriptedPrompts prompts;
  prompts.Answer({mb::IdYes, mb::IdRetry});
  EXPECT_EQ(prompts.Message("Delete volume?", "Tidewell", mb::YesNo | mb::IconQuestion), mb::IdYes);
  EXPECT_EQ(prompts.Message("Disk full", "Copy", mb::RetryCancel), mb::IdRetry);
  // Unscripted questions never agree and never retry, so a loop around them ends.
  EXPECT_EQ(prompts.Message("Overwrite?", "Tidewell", mb::YesNo | mb::DefButton2), mb::IdNo);
  EXPECT_EQ(prompts.Message("Disk full", "Copy", mb::RetryCancel | mb::IconError), mb::IdCancel);
  EXPECT_EQ(prompts.Message("Save?", "Tidewell", mb::YesNoCancel), mb::IdCancel);
  EXPECT_EQ(prompts.Message("Error", "Copy", mb::AbortRetryIgnore), mb::IdAbort);
  EXPECT_EQ(prompts.Message("Done", "Tidewell", mb::Ok | mb::IconInformation), mb::IdOk);

  auto records = prompts.Records();
  ASSERT_EQ(records.size(), 7u);
  EXPECT_EQ(records[0].text, "Delete volume?");
  EXPECT_EQ(records[0].caption, "Tidewell");
  EXPECT_EQ(records[0].flags, uint32_t{mb::YesNo | mb::IconQuestion});
  EXPECT_TRUE(records[1].scripted);
  EXPECT_FALSE(records[2].scripted);
  EXPECT_EQ(prompts.Unscripted(), 5u);

  prompts.SetDefault(mb::IdYes);
  EXPECT_EQ(prompts.Message("Sure?", "Tidewell", mb::YesNo), mb::IdYes);
  EXPECT_EQ(prompts.Last().text, "Sure?");
}

TEST(FakeClockTest, DateValuesAndFileTimesAgree) {
  EXPECT_EQ(MakeFileTime(1601, 1, 1), 0u);
  EXPECT_EQ(MakeFileTime(1970, 1, 1), 116444736000000000ULL);
  EXPECT_EQ(MakeFileTime(2024, 2, 29, 23, 59, 59) + kFileTimeSecond, MakeFileTime(2024, 3, 1));

  FakeClock clock;
  clock.SetUtc(MakeFileTime(1899, 12, 30));
  EXPECT_DOUBLE_EQ(clock.Now(), 0.0);
  clock.SetUtc(MakeFileTime(2024, 1, 1, 12));
  EXPECT_DOUBLE_EQ(clock.Now(), 45292.5);
  clock.SetBiasMinutes(60);
  EXPECT_DOUBLE_EQ(clock.Now(), 45292.5 + 1.0 / 24);
  EXPECT_EQ(clock.NowUtc(), MakeFileTime(2024, 1, 1, 12));

  clock.SetLocal(2024, 6, 30, 18);
  EXPECT_EQ(clock.NowUtc(), MakeFileTime(2024, 6, 30, 17));
  clock.AdvanceSeconds(-3600);
  EXPECT_EQ(clock.NowUtc(), MakeFileTime(2024, 6, 30, 16));
}

}  // namespace
}  // namespace tw
