// The main of the Qt backend's tests: the offscreen platform unless another is asked for, and
// no QApplication while CTest only lists the tests (it runs the binary without the tests'
// environment then).
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#include <QApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::filesystem::path runtimeDir;
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "gui_qt_test_XXXXXX").string();
    if (::mkdtemp(tmpl.data()) != nullptr) {
      runtimeDir = tmpl;
      qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(tmpl));
    }
  }
  int result;
  {
    QApplication app(argc, argv);
    result = RUN_ALL_TESTS();
  }
  if (!runtimeDir.empty()) std::filesystem::remove_all(runtimeDir);
  return result;
}
