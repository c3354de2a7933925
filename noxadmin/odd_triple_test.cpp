// Hand-edited or foreign level triples: every noxadmin command reads the
// daily budget switch as the login program's ComputeSessionMinutes does.
#include <gtest/gtest.h>

#include <bit>
#include <sstream>

#include "common/ole_date.h"
#include "explorer/frm_login.h"
#include "noxadmin/session.h"
#include "noxadmin/test_support.h"
#include "platform/fake/fake_control.h"

namespace nox::admin {
namespace {

using namespace testing_support;

enum class Budget { kOff, kOn, kUnreadable };

struct OddTriple {
  const char* triple;
  Budget budget;  // from the rule: bit 25 of the third part read as a full number
};

void PrintTo(const OddTriple& odd, std::ostream* out) { *out << '"' << odd.triple << '"'; }

constexpr int32_t kAllowed = 60;
constexpr int32_t kUsed = 20;
constexpr int kNoValue = 12345;  // the login keeps it when it cannot read the budget

const OddTriple kOddTriples[] = {
    {"0,0,33554432", Budget::kOn},
    {"0,0,-33554432", Budget::kOn},  // 0xFE000000
    {"0,0,-1", Budget::kOn},
    {"0,0,&H2000000", Budget::kOn},
    {"0,0,&h2000000", Budget::kOn},
    {"0,0,&O200000000", Budget::kOn},
    {" 0 , 0 , 3355 4432 ", Budget::kOn},
    {"0,0,3.3554432E7", Budget::kOn},
    {"0,0,33554431.5", Budget::kOn},  // rounds to the even 33554432
    {"12abc,0,&H2000000", Budget::kOn},
    {"99999999999,0,33554432", Budget::kOn},  // restrictions overflow, the budget does not
    {"0,0,33554432e-9", Budget::kOff},        // its restriction mask 3 still holds bit 25
    {"0,0,33554431", Budget::kOff},
    {"0,0,+1", Budget::kOff},
    {"0,0,0", Budget::kOff},
    {"0,0", Budget::kOff},
    {"", Budget::kOff},
    {"0,0,1e10", Budget::kUnreadable},
    {"0,0,99999999999", Budget::kUnreadable},
    {"1,2,33554432,4", Budget::kUnreadable},
};

platform::LocalTime LastUse() {
  platform::LocalTime last_use = TestNow();
  last_use.hour = 9;
  return last_use;
}

RecordBytes Kid(const char* triple) {
  return RecordBytes()
      .Name("kid")
      .Triple(triple)
      .Int(2671, 4, kAllowed)
      .Int(2675, 4, kUsed)
      .Int(2679, 8, std::bit_cast<int64_t>(ToOleDate(LastUse())));
}

// The login program's remaining minutes for the record: -1 without a
// budget, kNoValue when it stops at an error.
int LoginRemainingMinutes(const std::string& record_bytes) {
  platform::fake::Reset();
  platform::fake::SetLocalTime(TestNow());
  frmLogin form;
  form.remaining_minutes = kNoValue;
  form.ComputeSessionMinutes(1, DecodeUserRecord(record_bytes));
  return form.remaining_minutes;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class OddTripleTest : public ::testing::TestWithParam<OddTriple> {};

TEST_P(OddTripleTest, EveryCommandReadsTheBudgetAsTheLogin) {
  const OddTriple& odd = GetParam();
  const bool on = odd.budget == Budget::kOn;
  const int login = LoginRemainingMinutes(Kid(odd.triple).str());
  ASSERT_EQ(login, on ? kAllowed - kUsed : odd.budget == Budget::kOff ? -1 : kNoValue);

  TempFolder folder;
  WriteBytes(folder / "USER.TBL", Kid(odd.triple).str());
  const std::string left = std::to_string(kAllowed - kUsed) + " left today";
  EXPECT_EQ(Contains(RunIn(folder, {"user", "list"}).out, "no limit"), !on);
  EXPECT_EQ(Contains(RunIn(folder, {"user", "show", "kid"}).out, left), on);
  EXPECT_EQ(Contains(RunIn(folder, {"export"}).out, ",none,"), !on);

  std::ostringstream out, err;
  std::istringstream in;
  AdminContext context{out, err, in, TestNow()};
  Session session(context, folder.str(), std::nullopt);
  const std::vector<UserSummary> page = SummarizeUsers(session, session.LoadTable());
  ASSERT_EQ(page.size(), 1u);
  EXPECT_EQ(page[0].minutes, on ? std::to_string(kAllowed) : "none");
  EXPECT_EQ(page[0].used_today, on ? std::optional<int64_t>(kUsed) : std::nullopt);

  const std::string check = RunIn(folder, {"check"}).out;
  if (odd.budget == Budget::kUnreadable) {
    EXPECT_TRUE(Contains(check, "cannot be read")) << check;
  } else if (Contains(check, "holds more than digits")) {
    EXPECT_TRUE(Contains(check, on ? "daily budget as on" : "daily budget as off")) << check;
  }

  const RunResult grant = RunIn(folder, {"user", "grant", "kid", "5"});
  EXPECT_EQ(grant.code == kExitOk, on) << grant.err;
  EXPECT_EQ(grant.out, on ? "User kid has 45 minutes left today\n" : "");
}

INSTANTIATE_TEST_SUITE_P(Triples, OddTripleTest, ::testing::ValuesIn(kOddTriples));

}  // namespace
}  // namespace nox::admin
