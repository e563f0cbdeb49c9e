#include "dyncall.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace dyncall {
namespace {

// The recording fake (fake_see32.cpp) is built beside this test.
std::filesystem::path fakeLibrary() { return executableDirectory() / "libsee32_fake.so"; }

class DynCallTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(fakeLibrary())) << fakeLibrary();
    libs_.map("see32.dll", fakeLibrary());  // mapped in lower case, called in upper case
    ASSERT_TRUE(libs_.call("SEE32.DLL", "fakeReset"));
  }

  std::string log() {
    std::array<char, 4096> buf{};
    dbe::Result<std::int32_t> n =
        libs_.call("SEE32.DLL", "fakeCallLog", buf.data(), static_cast<std::int32_t>(buf.size()));
    EXPECT_TRUE(n) << n.status().toString();
    return buf.data();
  }

  Libraries libs_;
};

TEST_F(DynCallTest, CallsGoToTheMappedLibraryWithTheirArgumentsInOrder) {
  dbe::Result<std::int32_t> r = libs_.call("SEE32.DLL", "seeAttach", 1, 7);
  ASSERT_TRUE(r) << r.status().toString();
  EXPECT_EQ(*r, 1);
  ASSERT_TRUE(libs_.call("See32.Dll", "seeStringParam", 0, 58, "ap user"));
  ASSERT_TRUE(libs_.call("SEE32.DLL", "seeRelease"));
  EXPECT_EQ(log(), "seeAttach(1,7)\nseeStringParam(0,58,\"ap user\")\nseeRelease()\n");
}

TEST_F(DynCallTest, ExportWritesIntoTheCallersBuffer) {
  std::array<char, 128> buf;
  buf.fill(' ');
  dbe::Result<std::int32_t> n = libs_.call("SEE32.DLL", "seeErrorText", 0, -12, buf.data(), 128);
  ASSERT_TRUE(n);
  EXPECT_EQ(*n, 9);
  EXPECT_STREQ(buf.data(), "error -12");
}

TEST_F(DynCallTest, RunTimeArgumentListOfNineMixedArguments) {
  std::string server = "mail.carrier.com", user = "ap", pass = "pw", from = "<ap@carrier.com>",
              reply = "<office@carrier.com>", proxy = "";
  const std::vector<Arg> args = {0,           8801,        587,          server.data(), user.data(),
                                 pass.data(), from.data(), reply.data(), proxy.data()};
  dbe::Result<std::int32_t> r = libs_.call("SEE32.DLL", "seeSmtpConnectSSL", args);
  ASSERT_TRUE(r) << r.status().toString();
  EXPECT_EQ(*r, -12);  // the export's own failure code is the call's value
  EXPECT_EQ(log(),
            "seeSmtpConnectSSL(0,8801,587,\"mail.carrier.com\",\"ap\",\"pw\",\"<ap@carrier.com>\","
            "\"<office@carrier.com>\",\"\")\n");
}

TEST_F(DynCallTest, RunTimeListWithBufferAndNoArguments) {
  std::array<char, 16> buf{};
  const std::vector<Arg> args = {3, -5, buf.data(), 16};
  dbe::Result<std::int32_t> r = libs_.call("SEE32.DLL", "seeErrorText", args);
  ASSERT_TRUE(r);
  EXPECT_STREQ(buf.data(), "error -5");
  ASSERT_TRUE(libs_.call("SEE32.DLL", "seeRelease", std::span<const Arg>()));
  EXPECT_EQ(log(), "seeErrorText(3,-5,buffer,16)\nseeRelease()\n");
}

TEST_F(DynCallTest, TooManyArgumentsIsAnError) {
  const std::vector<Arg> args(kMaxArgs + 1, Arg(std::int32_t{0}));
  dbe::Result<std::int32_t> r = libs_.call("SEE32.DLL", "seeAttach", args);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.status().code(), dbe::Status::Code::kInvalidArgument);
  EXPECT_EQ(log(), "");  // nothing was called
}

TEST_F(DynCallTest, MissingExportIsAnErrorNamingIt) {
  dbe::Result<std::int32_t> r = libs_.call("SEE32.DLL", "seeNoSuchExport", 1);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.status().code(), dbe::Status::Code::kNotFound);
  EXPECT_EQ(r.status().toString(), "Not found: SEE32.DLL: no export named seeNoSuchExport");
}

TEST_F(DynCallTest, ConcurrentCallsAllArrive) {
  std::vector<std::thread> threads;
  for (std::int32_t t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      for (std::int32_t i = 0; i < 25; ++i) EXPECT_TRUE(libs_.call("SEE32.DLL", "seeAttach", t, i));
    });
  }
  for (std::thread& th : threads) th.join();
  const std::string all = log();
  EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 100);
  EXPECT_NE(all.find("seeAttach(3,24)"), std::string::npos);
}

TEST(DynCallLibraries, MissingLibraryIsAnErrorNotACrash) {
  Libraries libs;
  libs.map("OTHER.DLL", "/nonexistent-dir/libother.so");
  dbe::Result<std::int32_t> r = libs.call("other.dll", "anything");
  ASSERT_FALSE(r);
  EXPECT_EQ(r.status().code(), dbe::Status::Code::kNotFound);
  EXPECT_NE(r.status().toString().find("other.dll"), std::string::npos) << r.status().toString();
  EXPECT_NE(r.status().toString().find("/nonexistent-dir/libother.so"), std::string::npos)
      << r.status().toString();

  dbe::Result<std::int32_t> unmapped = libs.call("UNKNOWN.DLL", "x");
  ASSERT_FALSE(unmapped);
  EXPECT_NE(unmapped.status().toString().find("no host library is mapped"), std::string::npos);
}

// A library not found at first is looked for again on the next call (no failure is cached).
TEST(DynCallLibraries, FailedLoadIsRetried) {
  Libraries libs;
  libs.map("SEE32.DLL", "/nonexistent-dir/libsee32.so");
  EXPECT_FALSE(libs.call("SEE32.DLL", "fakeReset"));
  libs.map("SEE32.DLL", fakeLibrary());
  EXPECT_TRUE(libs.call("SEE32.DLL", "fakeReset"));
}

// Unmapping returns to the default: our engine beside the executable, or the file named by
// VENDORLIST_SEE32.
TEST(DynCallLibraries, DefaultMappingFindsTheEngineOrTheVariable) {
  Libraries libs;
  libs.map("SEE32.DLL", fakeLibrary());
  ASSERT_TRUE(libs.find("SEE32.DLL", "fakeCallLog"));
  libs.unmap("SEE32.DLL");
  ASSERT_EQ(std::getenv(kSee32Variable), nullptr) << "the test needs the variable unset";
  EXPECT_TRUE(libs.find("SEE32.DLL", "seeSendEmail")) << "libsee32.so beside the test";
  EXPECT_FALSE(libs.find("SEE32.DLL", "fakeCallLog"));

  Libraries viaVariable;
  ASSERT_EQ(::setenv(kSee32Variable, fakeLibrary().c_str(), 1), 0);
  EXPECT_TRUE(viaVariable.find("SEE32.DLL", "fakeCallLog"));
  Libraries wrongVariable;
  ASSERT_EQ(::setenv(kSee32Variable, "/nonexistent-dir/libsee32.so", 1), 0);
  dbe::Result<void*> wrong = wrongVariable.find("SEE32.DLL", "seeAttach");
  ::unsetenv(kSee32Variable);
  ASSERT_FALSE(wrong);  // a wrong setting is reported, not passed over
  EXPECT_NE(wrong.status().toString().find("/nonexistent-dir/libsee32.so"), std::string::npos);
}

TEST(DynCallLibraries, ProcessTableThroughCallExport) {
  Libraries::process().map("SEE32.DLL", fakeLibrary());
  ASSERT_TRUE(callExport("SEE32.DLL", "fakeReset"));
  std::array<char, 8> buf{};
  const std::vector<Arg> args = {0, -1, buf.data(), 8};
  ASSERT_TRUE(callExport("SEE32.DLL", "seeErrorText", args));
  EXPECT_STREQ(buf.data(), "error -");
  Libraries::process().unmap("SEE32.DLL");
}

}  // namespace
}  // namespace dyncall
