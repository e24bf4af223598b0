// Status names are the JavaScript `code` of every error: they must match
// Node-API's numbering exactly.
#include <gtest/gtest.h>

#include "core/error.h"

namespace deskcap {
namespace {

TEST(Status, NamesFollowNodeApiNumbering) {
  const char* expected[] = {"Ok", "InvalidArg", "ObjectExpected", "StringExpected", "NameExpected",
                            "FunctionExpected", "NumberExpected", "BooleanExpected", "ArrayExpected",
                            "GenericFailure", "PendingException", "Cancelled", "EscapeCalledTwice",
                            "HandleScopeMismatch", "CallbackScopeMismatch", "QueueFull", "Closing",
                            "BigintExpected", "DateExpected", "ArrayBufferExpected",
                            "DetachableArraybufferExpected", "WouldDeadlock", "NoExternalBuffersAllowed"};
  for (int raw = 0; raw <= 22; ++raw) {
    Status s = status_from_raw(raw);
    EXPECT_EQ(static_cast<int>(s), raw);
    EXPECT_STREQ(status_name(s), expected[raw]) << raw;
  }
}

TEST(Status, AnythingOutsideTheKnownRangeIsUnknown) {
  for (int raw : {23, 24, 100, 1023, 1024, -1, 1 << 30}) {
    EXPECT_EQ(status_from_raw(raw), Status::Unknown) << raw;
    EXPECT_STREQ(status_name(status_from_raw(raw)), "Unknown");
  }
  EXPECT_EQ(static_cast<int>(Status::Unknown), 1024);
  EXPECT_EQ(Error::from_napi(23, "x").status, Status::Unknown);
}

TEST(Error, PrefixChainsKeepTheStatus) {
  Error e = Error(Status::InvalidArg, "inner").prefixed("outer: ");
  EXPECT_EQ(e.reason, "outer: inner");
  EXPECT_EQ(e.status, Status::InvalidArg);
  EXPECT_EQ(Error("plain").status, Status::GenericFailure);
}

}  // namespace
}  // namespace deskcap
