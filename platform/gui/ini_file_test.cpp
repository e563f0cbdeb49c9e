#include "ini_file.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace gui {
namespace {

using rt::Value;

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "gui_ini_XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    file_ = dir_ / "EMAIL.INI";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void write(const std::string& content) { std::ofstream(file_, std::ios::binary) << content; }
  std::string read() const {
    std::ifstream in(file_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static rt::Array keys() {
    return {Value("SMTPServer"), Value("Recipient"), Value("Sender"), Value("UserName"),
            Value("Password")};
  }
  // The buffers of the e-mail set-up: 100, 100, 100, 30 and 30 blanks.
  static rt::Array blanks() {
    return {Value(std::string(100, ' ')), Value(std::string(100, ' ')),
            Value(std::string(100, ' ')), Value(std::string(30, ' ')), Value(std::string(30, ' '))};
  }

  std::filesystem::path dir_;
  std::filesystem::path file_;
};

TEST_F(IniFileTest, AMissingFileOrSectionFillsNothing) {
  rt::Array values = blanks();
  IniResult r = iniLoad(file_, "SENDMAIL", values, keys());
  EXPECT_TRUE(r.ok);
  EXPECT_FALSE(r.fileFound);
  EXPECT_EQ(values[0].text(), std::string(100, ' '));

  write("[OTHER]\nSMTPServer=elsewhere\n");
  r = iniLoad(file_, "SENDMAIL", values, keys());
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(r.fileFound);
  EXPECT_EQ(values[0].text(), std::string(100, ' '));
}

TEST_F(IniFileTest, KeysAndSectionsAreFoundWithoutRegardToCase) {
  write(
      "; settings\r\n"
      "[general]\r\n"
      "smtpserver=wrong.example.com\r\n"
      "[SendMail]\r\n"
      "  smtpSERVER = mail.example.com  \r\n"
      "# a comment=with an equals sign\r\n"
      "RECIPIENT=\"ap@example.com\"\r\n"
      "Sender=first@example.com\r\n"
      "Sender=second@example.com\r\n"
      "Password=\r\n"
      "[after]\r\n"
      "UserName=nobody\r\n");
  rt::Array values = blanks();
  ASSERT_TRUE(iniLoad(file_, "SENDMAIL", values, keys()).ok);
  // Texts come back padded to their buffer width, so that edit fields keep it.
  EXPECT_EQ(values[0].text(), "mail.example.com" + std::string(84, ' '));
  EXPECT_EQ(values[1].text().substr(0, 15), "ap@example.com ");
  EXPECT_EQ(values[2].text().substr(0, 18), "first@example.com ");
  EXPECT_EQ(values[3].text(), std::string(30, ' '));  // only in another section
  EXPECT_EQ(values[4].text(), std::string(30, ' '));  // present and empty
}

TEST_F(IniFileTest, NumbersAndLogicalsAreReadAsTheirKindAndShortValueListsGrow) {
  write("[S]\nPort=587\nSecure=T\nName=x\n");
  rt::Array values{Value(25), Value(false)};
  ASSERT_TRUE(iniLoad(file_, "s", values, {Value("Port"), Value("Secure"), Value("Name")}).ok);
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].number(), 587);
  EXPECT_TRUE(values[1].logical());
  EXPECT_EQ(values[2].text(), "x");
}

TEST_F(IniFileTest, SavingCreatesTheFileAndLoadingReadsItBack) {
  rt::Array values = blanks();
  values[0] = Value("smtp.example.com" + std::string(84, ' '));
  values[4] = Value("pa ss word" + std::string(20, ' '));
  const IniResult r = iniSave(file_, "SENDMAIL", values, keys());
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(read(),
            "[SENDMAIL]\r\nSMTPServer=smtp.example.com\r\nRecipient=\r\nSender=\r\n"
            "UserName=\r\nPassword=pa ss word\r\n");
  rt::Array back = blanks();
  ASSERT_TRUE(iniLoad(file_, "SENDMAIL", back, keys()).ok);
  for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(back[i].text(), values[i].text()) << i;
}

TEST_F(IniFileTest, SavingKeepsEveryOtherLineAndReplacesKeysInPlace) {
  write(
      "; mail settings\n[Other]\nSender=keep@example.com\n\n[sendmail]\nsender=old@example.com\n"
      "Extra=stays\n\n[Last]\nx=1\n");
  rt::Array values{Value("new@example.com   "), Value("joe")};
  ASSERT_TRUE(iniSave(file_, "SENDMAIL", values, {Value("Sender"), Value("UserName")}).ok);
  EXPECT_EQ(read(),
            "; mail settings\n[Other]\nSender=keep@example.com\n\n[sendmail]\n"
            "sender=new@example.com\nExtra=stays\nUserName=joe\n\n[Last]\nx=1\n");
}

TEST_F(IniFileTest, ALineBreakInAValueIsStoredAsABlank) {
  ASSERT_TRUE(iniSave(file_, "S", {Value("a\r\nb")}, {Value("K")}).ok);
  EXPECT_EQ(read(), "[S]\r\nK=a  b\r\n");
}

TEST_F(IniFileTest, AFailedWriteKeepsTheOldFile) {
  const std::string old = "[SENDMAIL]\r\nSMTPServer=old.example.com\r\n";
  write(old);
  // The file-size limit makes the write of the new file fail part-way, like a full disk.
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const IniResult r =
      iniSave(file_, "SENDMAIL", {Value(std::string(200, 'x'))}, {Value("SMTPServer")});
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find(file_.string()), std::string::npos) << r.message;
  EXPECT_EQ(read(), old);
  // No temporary file is left beside it.
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_)) ++entries;
  EXPECT_EQ(entries, 1u);
}

TEST_F(IniFileTest, AFileThatCannotBeReadIsNeitherLoadedNorReplaced) {
  std::filesystem::create_directory(file_);
  rt::Array values = blanks();
  IniResult r = iniLoad(file_, "SENDMAIL", values, keys());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("EMAIL.INI"), std::string::npos);
  r = iniSave(file_, "SENDMAIL", values, keys());
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(std::filesystem::is_directory(file_));

  const std::filesystem::path missingDir = dir_ / "nowhere" / "EMAIL.INI";
  r = iniSave(missingDir, "SENDMAIL", values, keys());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("nowhere"), std::string::npos);
}

TEST_F(IniFileTest, AFileTooLargeForSettingsIsRefused) {
  write("[S]\n" + std::string(kMaxIniFileSize, 'x'));
  rt::Array values{Value("a")};
  const IniResult r = iniLoad(file_, "S", values, {Value("K")});
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("too large"), std::string::npos);
  EXPECT_FALSE(iniSave(file_, "S", values, {Value("K")}).ok);
}

TEST_F(IniFileTest, KeysAndSectionsMustBeUsableNames) {
  rt::Array values{Value("a")};
  EXPECT_FALSE(iniSave(file_, "S", values, {Value(3)}).ok);
  EXPECT_FALSE(iniSave(file_, "S", values, {Value("a=b")}).ok);
  EXPECT_FALSE(iniSave(file_, "S", values, {Value("  ")}).ok);
  EXPECT_FALSE(iniSave(file_, "S]", values, {Value("K")}).ok);
  EXPECT_FALSE(iniLoad(file_, "S", values, {Value()}).ok);
  EXPECT_FALSE(std::filesystem::exists(file_));
}

}  // namespace
}  // namespace gui
