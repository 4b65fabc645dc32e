#include "service/service_account.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

// Windows starts a service under these without a password, so neither the
// package nor `service install` may ask for one, nor go on without it for
// the others: the service would be registered and then never start.
TEST(ServiceAccount, NeedsAPasswordOnlyForAPlainUserAccount) {
  const struct {
    const char* account;
    bool needsPassword;
  } cases[] = {
      {"NT SERVICE\\Corvex", false},
      {"nt service\\corvex", false},
      {"NT AUTHORITY\\NetworkService", false},
      {"NT AUTHORITY\\LocalService", false},
      {"LocalSystem", false},
      {"", false},
      {"CORP\\corvex-svc$", false},
      {"corvex-gmsa$", false},
      {"CORP\\corvex", true},
      {".\\corvex", true},
      {"corvex@corp.example", true},
      {"NT SERVICEX\\Corvex", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(accountNeedsPassword(QString::fromUtf8(c.account)), c.needsPassword) << c.account;
}

}  // namespace
}  // namespace corvex
