#include "file_system.h"

#include <atomic>
#include <gtest/gtest.h>
#include <optional>
#include <stdlib.h>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

#include "temp_tree.h"

namespace files {
namespace {

namespace fs = std::filesystem;
using Kind = Error::Kind;

// Drive C: as the suite's workstations see it, a D: drive for output, a network share, and a
// drive F: whose host directory is missing.
class FileSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    tree_.file("c/vadnorel/MSTRCTRL.DBF");
    tree_.file("c/vadnorel/APMSTRFL.DBF");
    tree_.file("c/vadnorel/APMSTRFL.cdx");
    tree_.file("c/vadnorel/Vendor.dbf");
    tree_.file("c/vadnorel/VENDOR.DBF");
    tree_.file("c/vadnorel/EMAIL.INI", "[SENDMAIL]\r\nserver=mail\r\n");
    tree_.file("c/Rovudo/stunnel.pem");
    tree_.file("c/express/Win2PDF/w2pdf_setup.exe");
    tree_.file("c/tables/extra/ONLYHERE.DBF");
    tree_.file("c/tables/extra/Twin.dbf");
    tree_.file("c/tables/extra/TWIN.DBF");
    tree_.file("c/tables/more/ONLYHERE.DBF");
    tree_.file("c/tables/more/SECOND.DBF");
    tree_.dir("d/out");
    tree_.file("share/reports/out.pdf");
    ASSERT_TRUE(fs_.mapDrive('C', tree_ / "c"));
    ASSERT_TRUE(fs_.mapDrive('d', tree_ / "d"));
    ASSERT_TRUE(fs_.mapDrive('F', tree_ / "gone"));
    ASSERT_TRUE(fs_.mapShare("\\\\server\\share", tree_ / "share"));
    ASSERT_TRUE(fs_.setDefaultDirectory("\\vadnorel"));
  }

  std::string host(std::string_view rel) const { return (tree_ / rel).string(); }

  TempTree tree_;
  FileSystem fs_;
};

struct ResolveCase {
  std::string_view path;
  Need need;
  std::string_view host;     // expected host path under the tree; empty when an error is expected
  std::string_view windows;  // expected Windows path, or the expected error text
  bool exists = true;
  Kind kind = Kind::kNotFound;  // expected error kind when host is empty
};

constexpr Need kExisting = Need::kExisting;
constexpr Need kMayNot = Need::kMayNotExist;

const ResolveCase kResolveCases[] = {
    // Each form of path.
    {"mstrctrl.dbf", kExisting, "c/vadnorel/MSTRCTRL.DBF", "C:\\vadnorel\\MSTRCTRL.DBF"},
    {"apmstrfl.CDX", kExisting, "c/vadnorel/APMSTRFL.cdx", "C:\\vadnorel\\APMSTRFL.cdx"},
    {"C:\\VADNOREL\\mstrctrl.dbf", kExisting, "c/vadnorel/MSTRCTRL.DBF",
     "C:\\vadnorel\\MSTRCTRL.DBF"},
    {"c:/vadnorel/MstrCtrl.Dbf", kExisting, "c/vadnorel/MSTRCTRL.DBF",
     "C:\\vadnorel\\MSTRCTRL.DBF"},
    {"C:vadnorel\\EMAIL.INI", kExisting, "c/vadnorel/EMAIL.INI", "C:\\vadnorel\\EMAIL.INI"},
    {"\\rovudo\\STUNNEL.PEM", kExisting, "c/Rovudo/stunnel.pem", "C:\\Rovudo\\stunnel.pem"},
    {"\\express\\win2pdf\\w2pdf_setup.exe", kExisting, "c/express/Win2PDF/w2pdf_setup.exe",
     "C:\\express\\Win2PDF\\w2pdf_setup.exe"},
    {"\\\\SERVER\\Share\\reports\\OUT.PDF", kExisting, "share/reports/out.pdf",
     "\\\\SERVER\\Share\\reports\\out.pdf"},
    {"C:\\", kExisting, "c", "C:\\"},
    {"\\vadnorel\\", kExisting, "c/vadnorel", "C:\\vadnorel"},
    // ".." and ".", never above the root.
    {"..\\rovudo\\stunnel.pem", kExisting, "c/Rovudo/stunnel.pem", "C:\\Rovudo\\stunnel.pem"},
    {"\\vadnorel\\..\\..\\..\\rovudo\\.\\stunnel.pem", kExisting, "c/Rovudo/stunnel.pem",
     "C:\\Rovudo\\stunnel.pem"},
    {"\\\\server\\share\\..\\reports\\out.pdf", kExisting, "share/reports/out.pdf",
     "\\\\server\\share\\reports\\out.pdf"},
    // Exact match preferred over a case twin.
    {"Vendor.dbf", kExisting, "c/vadnorel/Vendor.dbf", "C:\\vadnorel\\Vendor.dbf"},
    {"VENDOR.DBF", kExisting, "c/vadnorel/VENDOR.DBF", "C:\\vadnorel\\VENDOR.DBF"},
    // Files not there yet: directories resolved, the last name kept as given.
    {"D:\\out\\New.PDF", kMayNot, "d/out/New.PDF", "D:\\out\\New.PDF", false},
    {"d:\\OUT\\new.pdf", kMayNot, "d/out/new.pdf", "D:\\out\\new.pdf", false},
    {"vendorpo_201603091405.PDF", kMayNot, "c/vadnorel/vendorpo_201603091405.PDF",
     "C:\\vadnorel\\vendorpo_201603091405.PDF", false},
    {"\\\\server\\share\\reports\\new.txt", kMayNot, "share/reports/new.txt",
     "\\\\server\\share\\reports\\new.txt", false},
    // Creating a name that exists in another case is writing that file, as on Windows.
    {"email.ini", kMayNot, "c/vadnorel/EMAIL.INI", "C:\\vadnorel\\EMAIL.INI", true},
    // Errors.
    {"vendor.dbf", kExisting, "",
     "C:\\vadnorel\\vendor.dbf: two files differ only by case: VENDOR.DBF and Vendor.dbf", false,
     Kind::kAmbiguous},
    {"vendor.dbf", kMayNot, "",
     "C:\\vadnorel\\vendor.dbf: two files differ only by case: VENDOR.DBF and Vendor.dbf", false,
     Kind::kAmbiguous},
    {"VENDOR.dbf\\x", kMayNot, "",
     "C:\\vadnorel\\VENDOR.dbf: two files differ only by case: VENDOR.DBF and Vendor.dbf", false,
     Kind::kAmbiguous},
    {"missing.dbf", kExisting, "", "C:\\vadnorel\\missing.dbf: file not found", false},
    {"\\nodir\\new.dbf", kMayNot, "", "C:\\nodir: directory not found", false},
    {"\\vadnorel\\EMAIL.INI\\x", kMayNot, "", "C:\\vadnorel\\EMAIL.INI: not a directory", false,
     Kind::kNotADirectory},
    {"E:\\x.dbf", kMayNot, "", "E:\\x.dbf: drive E: is not mapped to a host directory", false,
     Kind::kNotMapped},
    {"\\\\other\\share\\x", kMayNot, "",
     "\\\\other\\share\\x: network share \\\\other\\share is not mapped to a host directory", false,
     Kind::kNotMapped},
    {"a?b.dbf", kMayNot, "", "a?b.dbf: invalid character '?' in a file name", false,
     Kind::kInvalidPath},
};

class FileSystemResolve : public FileSystemTest, public testing::WithParamInterface<ResolveCase> {};

TEST_P(FileSystemResolve, PathForms) {
  const ResolveCase& c = GetParam();
  Result<Resolved> r = fs_.resolve(c.path, c.need);
  if (c.host.empty()) {
    ASSERT_FALSE(r) << r->host;
    EXPECT_EQ(r.error().kind, c.kind);
    EXPECT_EQ(r.error().toString(), c.windows);
    return;
  }
  ASSERT_TRUE(r) << r.error().toString();
  EXPECT_EQ(r->host, tree_ / c.host);
  EXPECT_EQ(r->windows, c.windows);
  EXPECT_EQ(r->exists, c.exists);
}

INSTANTIATE_TEST_SUITE_P(Cases, FileSystemResolve, testing::ValuesIn(kResolveCases));

TEST_F(FileSystemTest, MissingDriveRootIsNamedWithItsHostDirectory) {
  for (std::string_view p : {"F:\\x.dbf", "F:\\"}) {
    Result<Resolved> r = fs_.resolve(p, Need::kMayNotExist);
    ASSERT_FALSE(r) << p;
    EXPECT_EQ(r.error().kind, Kind::kNotFound);
    EXPECT_EQ(r.error().message,
              "drive F: is mapped to host directory " + host("gone") + ", which does not exist");
  }
}

TEST_F(FileSystemTest, FullPathFromTheSettingsAlone) {
  EXPECT_EQ(fs_.fullPath("vendorpo_201603091405.PDF")->toString(),
            "C:\\vadnorel\\vendorpo_201603091405.PDF");
  EXPECT_EQ(fs_.fullPath("EMAIL.INI", RelativeTo::kCurrentDirectory)->toString(), "C:\\EMAIL.INI");
  EXPECT_EQ(fs_.fullPath("\\\\server\\share\\out.pdf")->toString(), "\\\\server\\share\\out.pdf");
  EXPECT_EQ(fs_.fullPath("Q:x")->toString(), "Q:\\x");  // no mapping needed to name it
  EXPECT_FALSE(fs_.fullPath(""));
}

// ---- current drive, current and default directory ----

TEST_F(FileSystemTest, CurrentDriveStartsAtCAndChangesOnlyToMappedDrives) {
  EXPECT_EQ(fs_.currentDrive(), 'C');
  EXPECT_EQ(fs_.currentDriveText(), "C:");
  EXPECT_EQ(fs_.currentDirectory(), "C:\\");

  ASSERT_TRUE(fs_.setCurrentDrive('d'));
  EXPECT_EQ(fs_.currentDriveText(), "D:");
  EXPECT_EQ(fs_.currentDirectory(), "D:\\");

  Status s = fs_.setCurrentDrive('E');
  ASSERT_FALSE(s);
  EXPECT_EQ(s.error().kind, Kind::kNotMapped);
  EXPECT_EQ(s.error().message, "drive E: is not mapped to a host directory");
  EXPECT_FALSE(fs_.setCurrentDrive('1'));
  EXPECT_EQ(fs_.currentDriveText(), "D:");
}

TEST_F(FileSystemTest, ChangeDirectoryKeepsOneCurrentDirectoryPerDrive) {
  ASSERT_TRUE(fs_.changeDirectory("\\VADNOREL"));
  EXPECT_EQ(fs_.currentDirectory(), "C:\\vadnorel");  // spelt as on the host

  ASSERT_TRUE(fs_.changeDirectory("D:\\out"));  // naming a drive makes it current
  EXPECT_EQ(fs_.currentDriveText(), "D:");
  EXPECT_EQ(fs_.currentDirectory(), "D:\\out");
  EXPECT_EQ(fs_.currentDirectory('c'), "C:\\vadnorel");

  // "C:name" is taken from drive C's own current directory while D: is current.
  Result<Resolved> r = fs_.resolve("C:EMAIL.INI");
  ASSERT_TRUE(r) << r.error().toString();
  EXPECT_EQ(r->host, tree_ / "c/vadnorel/EMAIL.INI");

  ASSERT_TRUE(fs_.changeDirectory("C:"));
  EXPECT_EQ(fs_.currentDirectory(), "C:\\vadnorel");
  ASSERT_TRUE(fs_.changeDirectory("..\\rovudo"));  // relative to the current directory
  EXPECT_EQ(fs_.currentDirectory(), "C:\\Rovudo");
  ASSERT_TRUE(fs_.changeDirectory("..\\..\\.."));
  EXPECT_EQ(fs_.currentDirectory(), "C:\\");
}

struct ChdirFailure {
  std::string_view path;
  Kind kind;
};

constexpr ChdirFailure kChdirFailures[] = {
    {"\\vadnorel\\EMAIL.INI", Kind::kNotADirectory},
    {"\\nowhere", Kind::kNotFound},
    {"\\\\server\\share\\reports", Kind::kInvalidPath},
    {"E:\\", Kind::kNotMapped},
    {"F:\\", Kind::kNotFound},
    {"a|b", Kind::kInvalidPath},
};

class FileSystemChdirFailure : public FileSystemTest,
                               public testing::WithParamInterface<ChdirFailure> {};

TEST_P(FileSystemChdirFailure, LeavesDriveAndDirectoryAsTheyWere) {
  ASSERT_TRUE(fs_.changeDirectory("\\rovudo"));
  Status s = fs_.changeDirectory(GetParam().path);
  ASSERT_FALSE(s);
  EXPECT_EQ(s.error().kind, GetParam().kind) << s.toString();
  EXPECT_EQ(fs_.currentDriveText(), "C:");
  EXPECT_EQ(fs_.currentDirectory(), "C:\\Rovudo");
}

INSTANTIATE_TEST_SUITE_P(Cases, FileSystemChdirFailure, testing::ValuesIn(kChdirFailures));

TEST_F(FileSystemTest, DefaultDirectoryAgainstCurrentDirectory) {
  // EMAIL.INI by bare name lives in the current directory; tables in the default directory.
  ASSERT_TRUE(fs_.changeDirectory("\\rovudo"));
  EXPECT_TRUE(fs_.resolve("EMAIL.INI"));
  Result<Resolved> cur = fs_.resolve("EMAIL.INI", Need::kExisting, RelativeTo::kCurrentDirectory);
  ASSERT_FALSE(cur);
  EXPECT_EQ(cur.error().toString(), "C:\\Rovudo\\EMAIL.INI: file not found");

  // Without a default directory, relative names use the current directory.
  ASSERT_TRUE(fs_.setDefaultDirectory(""));
  EXPECT_EQ(fs_.defaultDirectory(), "");
  EXPECT_EQ(fs_.hostPath("stunnel.pem").value(), tree_ / "c/Rovudo/stunnel.pem");
}

TEST_F(FileSystemTest, DefaultDirectoryIsTakenFromTheCurrentDriveWhenUsed) {
  EXPECT_EQ(fs_.defaultDirectory(), "\\vadnorel");
  tree_.dir("d/vadnorel");
  ASSERT_TRUE(fs_.setCurrentDrive('D'));
  EXPECT_EQ(fs_.hostPath("x.dbf").value(), tree_ / "d/vadnorel/x.dbf");

  ASSERT_TRUE(fs_.setDefaultDirectory("C:\\vadnorel"));
  EXPECT_EQ(fs_.hostPath("mstrctrl.dbf").value(), tree_ / "c/vadnorel/MSTRCTRL.DBF");

  ASSERT_TRUE(fs_.setDefaultDirectory("\\\\server\\share\\reports"));
  EXPECT_EQ(fs_.hostPath("OUT.pdf").value(), tree_ / "share/reports/out.pdf");

  ASSERT_TRUE(fs_.changeDirectory("D:\\out"));
  ASSERT_TRUE(fs_.setDefaultDirectory("sub"));  // relative: from the current directory
  EXPECT_EQ(fs_.fullPath("x.dbf")->toString(), "D:\\out\\sub\\x.dbf");

  Status bad = fs_.setDefaultDirectory("a|b");
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().kind, Kind::kInvalidPath);
  EXPECT_EQ(fs_.defaultDirectory(), "sub");
}

// ---- search path ----

TEST_F(FileSystemTest, LocateFallsBackAlongTheSearchPathInOrder) {
  ASSERT_TRUE(fs_.setSearchPath("Q:\\nowhere; \\nodir ,\\tables\\extra;D:\\;\\tables\\more"));
  EXPECT_EQ(fs_.searchPath(), "Q:\\nowhere; \\nodir ,\\tables\\extra;D:\\;\\tables\\more");

  // Not in the default directory, so the first search-path directory holding it wins; missing
  // directories and unmapped drives on the way are passed over.
  Result<Resolved> r = fs_.locate("onlyhere.dbf");
  ASSERT_TRUE(r) << r.error().toString();
  EXPECT_EQ(r->host, tree_ / "c/tables/extra/ONLYHERE.DBF");
  EXPECT_EQ(r->windows, "C:\\tables\\extra\\ONLYHERE.DBF");
  EXPECT_EQ(fs_.locate("second.dbf")->host, tree_ / "c/tables/more/SECOND.DBF");

  // The default directory comes first.
  tree_.file("c/vadnorel/onlyhere.dbf");
  EXPECT_EQ(fs_.locate("ONLYHERE.DBF")->host, tree_ / "c/vadnorel/onlyhere.dbf");

  // resolve() and paths with a root or drive do not search.
  EXPECT_FALSE(fs_.resolve("second.dbf"));
  EXPECT_FALSE(fs_.locate("\\second.dbf"));
  EXPECT_FALSE(fs_.locate("C:second.dbf"));

  Result<Resolved> none = fs_.locate("nothing.dbf");
  ASSERT_FALSE(none);
  EXPECT_EQ(none.error().kind, Kind::kNotFound);
  EXPECT_EQ(none.error().toString(),
            "C:\\vadnorel\\nothing.dbf: file not found (nor along the search path)");
}

TEST_F(FileSystemTest, SearchPathSeparatorsAndRelativeEntries) {
  ASSERT_TRUE(fs_.changeDirectory("\\tables"));
  ASSERT_TRUE(fs_.setSearchPath("more,extra"));  // relative to the current directory
  EXPECT_EQ(fs_.locate("onlyhere.dbf")->host, tree_ / "c/tables/more/ONLYHERE.DBF");
}

TEST_F(FileSystemTest, AmbiguousNameOnTheSearchPathIsAnError) {
  ASSERT_TRUE(fs_.setSearchPath("\\tables\\extra"));
  Result<Resolved> r = fs_.locate("twin.dbf");
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().kind, Kind::kAmbiguous);
  EXPECT_EQ(r.error().path, "C:\\tables\\extra\\twin.dbf");
}

TEST_F(FileSystemTest, InvalidSearchPathEntryKeepsTheOldPath) {
  ASSERT_TRUE(fs_.setSearchPath("\\tables\\extra"));
  Status s = fs_.setSearchPath("\\tables\\more;bad?dir");
  ASSERT_FALSE(s);
  EXPECT_EQ(s.error().kind, Kind::kInvalidPath);
  EXPECT_NE(s.error().message.find("\"bad?dir\""), std::string::npos) << s.toString();
  EXPECT_EQ(fs_.searchPath(), "\\tables\\extra");
  EXPECT_EQ(fs_.locate("onlyhere.dbf")->host, tree_ / "c/tables/extra/ONLYHERE.DBF");
}

// ---- file helpers ----

TEST_F(FileSystemTest, ExistsUsesTheSearchPathAndKeepsRealErrors) {
  ASSERT_TRUE(fs_.setSearchPath("\\tables\\extra"));
  EXPECT_TRUE(fs_.exists("mstrctrl.CDX").isOk());
  EXPECT_FALSE(fs_.exists("mstrctrl.CDX").value());
  EXPECT_TRUE(fs_.exists("apmstrfl.CDX").value());
  EXPECT_TRUE(fs_.exists("onlyhere.dbf").value());
  EXPECT_FALSE(fs_.exists("\\nodir\\x.dbf").value());
  EXPECT_FALSE(fs_.exists("\\vadnorel\\EMAIL.INI\\x").value());

  Result<bool> unmapped = fs_.exists("E:\\x.dbf");
  ASSERT_FALSE(unmapped);
  EXPECT_EQ(unmapped.error().kind, Kind::kNotMapped);
  Result<bool> twins = fs_.exists("vendor.dbf");
  ASSERT_FALSE(twins);
  EXPECT_EQ(twins.error().kind, Kind::kAmbiguous);
}

TEST_F(FileSystemTest, ReadTextGivesTheBytesAsStored) {
  const std::string bytes("caf\xe9\0\r\nend", 9);
  tree_.file("c/vadnorel/Notes.TXT", bytes);
  EXPECT_EQ(fs_.readText("notes.txt").value(), bytes);
  EXPECT_EQ(fs_.readText("EMAIL.INI").value(), "[SENDMAIL]\r\nserver=mail\r\n");
  tree_.file("c/vadnorel/empty.txt", "");
  EXPECT_EQ(fs_.readText("EMPTY.TXT").value(), "");

  Result<std::string> dir = fs_.readText("\\vadnorel");
  ASSERT_FALSE(dir);
  EXPECT_EQ(dir.error().kind, Kind::kIsADirectory);
  Result<std::string> missing = fs_.readText("missing.ini");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().kind, Kind::kNotFound);
}

TEST_F(FileSystemTest, ReadTextRefusesAnUnreadableFile) {
  tree_.file("c/vadnorel/secret.txt", "s");
  fs::permissions(tree_ / "c/vadnorel/secret.txt", fs::perms::none);
  if (::access(host("c/vadnorel/secret.txt").c_str(), R_OK) == 0) {
    GTEST_SKIP() << "running with rights that ignore file permissions";
  }
  Result<std::string> r = fs_.readText("SECRET.TXT");
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().kind, Kind::kIOError);
  EXPECT_NE(r.error().message.find("cannot open"), std::string::npos);
}

TEST_F(FileSystemTest, RemoveDeletesFilesOnly) {
  tree_.file("d/out/Report.PDF");
  ASSERT_TRUE(fs_.remove("D:\\OUT\\report.pdf"));
  EXPECT_FALSE(fs::exists(tree_ / "d/out/Report.PDF"));

  Status again = fs_.remove("D:\\OUT\\report.pdf");
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().kind, Kind::kNotFound);

  Status dir = fs_.remove("D:\\out");
  ASSERT_FALSE(dir);
  EXPECT_EQ(dir.error().kind, Kind::kIsADirectory);
  EXPECT_TRUE(fs::is_directory(tree_ / "d/out"));

  // The search path is not used to find a file to delete.
  ASSERT_TRUE(fs_.setSearchPath("\\tables\\extra"));
  EXPECT_FALSE(fs_.remove("onlyhere.dbf"));
  EXPECT_TRUE(fs::exists(tree_ / "c/tables/extra/ONLYHERE.DBF"));
}

TEST_F(FileSystemTest, FileMadeInAnotherCaseIsFoundNextTime) {
  Result<Resolved> before = fs_.resolve("report.txt", Need::kMayNotExist);
  ASSERT_TRUE(before);
  EXPECT_FALSE(before->exists);
  tree_.file("c/vadnorel/REPORT.TXT");  // written by another workstation
  Result<Resolved> after = fs_.resolve("report.txt", Need::kMayNotExist);
  ASSERT_TRUE(after);
  EXPECT_TRUE(after->exists);
  EXPECT_EQ(after->host, tree_ / "c/vadnorel/REPORT.TXT");
}

TEST_F(FileSystemTest, WindowsPathForMessages) {
  EXPECT_EQ(fs_.windowsPath(tree_ / "c/vadnorel/MSTRCTRL.DBF"), "C:\\vadnorel\\MSTRCTRL.DBF");
  EXPECT_EQ(fs_.windowsPath(tree_ / "share/reports/out.pdf"),
            "\\\\server\\share\\reports\\out.pdf");
  EXPECT_EQ(fs_.windowsPath(tree_ / "elsewhere/x"), std::nullopt);
  EXPECT_EQ(fs_.displayPath(tree_ / "elsewhere/x"), host("elsewhere/x"));
  EXPECT_EQ(fs_.displayPath(tree_ / "d/out/new.pdf"), "D:\\out\\new.pdf");
}

// ---- configuration through the environment ----

// Sets an environment variable for one test and puts the old value back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    ::setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST_F(FileSystemTest, EnvironmentMapsDrivesAndShares) {
  const std::string drives = "C=" + host("c") + ";d:=" + host("d");
  const std::string shares = "//Server/Share=" + host("share");
  ScopedEnv d(kDrivesVariable, drives.c_str());
  ScopedEnv s(kSharesVariable, shares.c_str());
  FileSystem fresh;
  ASSERT_TRUE(fresh.loadEnvironment());
  ASSERT_TRUE(fresh.setDefaultDirectory("\\vadnorel"));
  EXPECT_EQ(fresh.hostPath("mstrctrl.dbf").value(), tree_ / "c/vadnorel/MSTRCTRL.DBF");
  EXPECT_EQ(fresh.hostPath("D:\\out\\x.pdf").value(), tree_ / "d/out/x.pdf");
  EXPECT_EQ(fresh.hostPath("\\\\server\\share\\reports\\out.pdf").value(),
            tree_ / "share/reports/out.pdf");
}

TEST_F(FileSystemTest, MalformedEnvironmentIsReportedAndAddsNothingFromThatVariable) {
  const std::string shares = "\\\\server\\share=" + host("share");
  ScopedEnv d(kDrivesVariable, "C=/srv/c;D");
  ScopedEnv s(kSharesVariable, shares.c_str());
  FileSystem fresh;
  Status st = fresh.loadEnvironment();
  ASSERT_FALSE(st);
  EXPECT_EQ(st.error().kind, Kind::kConfig);
  EXPECT_EQ(st.error().toString(),
            "VENDORLIST_DRIVES: entry \"D\": mapping has no '=' between name and host directory");
  EXPECT_FALSE(fresh.mounts().driveRoot('C'));
  EXPECT_TRUE(fresh.mounts().shareRoot("server", "share"));  // the other variable was fine
}

// ---- threads ----

// Report threads resolve tables while the main thread moves the current directory and resets
// the search path: every resolution sees whole settings, before or after a change.
TEST_F(FileSystemTest, ResolutionWhileSettingsChangeOnOtherThreads) {
  ASSERT_TRUE(fs_.setSearchPath("\\tables\\extra"));
  for (const char* d : {"c/vadnorel", "c/tables/extra", "c/tables/more"}) tree_.age(d);
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        Result<Resolved> r = fs_.resolve("mstrctrl.dbf");
        if (!r || r->host != tree_ / "c/vadnorel/MSTRCTRL.DBF") ++failures;
        Result<Resolved> l = fs_.locate("onlyhere.dbf");
        if (!l) ++failures;
        if (fs_.currentDriveText() != "C:") ++failures;
      }
    });
  }
  for (int i = 0; i < 300; ++i) {
    EXPECT_TRUE(fs_.changeDirectory(i % 2 ? "\\rovudo" : "\\vadnorel"));
    EXPECT_TRUE(fs_.setSearchPath(i % 2 ? "\\tables\\extra" : "\\tables\\more;\\tables\\extra"));
  }
  stop = true;
  for (std::thread& t : readers) t.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace files
