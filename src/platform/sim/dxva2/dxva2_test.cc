// The simulated dxva2.dll under Wine, in what the end-to-end cases cannot
// see: each test loads it from beside this program for a scenario of its
// own; unloading it ends its run, when it reports what was not given back.
#include <windows.h>
#include <d3d9.h>
#include <highlevelmonitorconfigurationapi.h>
#include <objbase.h>
#include <opmapi.h>
#include <physicalmonitorenumerationapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr GUID kIidOpmVideoOutput = {0x0A15159D, 0x41C7, 0x4456, {0x93, 0xE1, 0x28, 0x4C, 0xD6, 0x1D, 0x4E, 0x8D}};

// The export of `library` of the same name as a function of the headers.
#define EXPORT(library, name) (library).Get<decltype(name)>(#name)

std::wstring Folder(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

// One display with `physical` and, when given, `opm` (JSON arrays).
std::string Display(const std::string& physical, const std::string& opm = "") {
  return R"([{"device": "\\\\.\\DISPLAY1", "physical": )" + physical + (opm.empty() ? "" : ", \"opm\": " + opm) +
         "}]";
}

// The library loaded for a scenario with `displays` and a call log of its own.
class Library {
 public:
  explicit Library(const std::string& displays) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring stem = std::wstring(temp) + L"monctl-dxva2-" + std::to_wstring(GetCurrentProcessId());
    std::ofstream(std::filesystem::path(scenario_ = stem + L".json")) << R"({"displays": )" << displays << "}";
    DeleteFileW((log_ = stem + L".log").c_str());
    SetEnvironmentVariableW(L"MONCTL_SIM_SCENARIO", scenario_.c_str());
    SetEnvironmentVariableW(L"MONCTL_SIM_LOG", log_.c_str());
    module_ = LoadLibraryW((Folder(nullptr) + L"dxva2.dll").c_str());
    EnumDisplayMonitors(nullptr, nullptr, [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
      *reinterpret_cast<HMONITOR*>(data) = monitor;
      return FALSE;
    }, reinterpret_cast<LPARAM>(&monitor_));
  }
  ~Library() {
    Unload();
    DeleteFileW(scenario_.c_str());
    DeleteFileW(log_.c_str());
  }

  // Whether the library is loaded, and is this one rather than Wine's own.
  bool loaded() const { return module_ != nullptr && Folder(module_) == Folder(nullptr); }
  HMONITOR monitor() const { return monitor_; }
  template <typename Function>
  Function* Get(const char* name) const {
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }
  std::vector<PHYSICAL_MONITOR> Monitors() const {
    DWORD count = 0;
    EXPECT_TRUE(EXPORT(*this, GetNumberOfPhysicalMonitorsFromHMONITOR)(monitor_, &count));
    std::vector<PHYSICAL_MONITOR> monitors(count);
    EXPECT_TRUE(EXPORT(*this, GetPhysicalMonitorsFromHMONITOR)(monitor_, count, monitors.data()));
    return monitors;
  }
  HRESULT Outputs(ULONG* count, IOPMVideoOutput*** outputs) const {
    return EXPORT(*this, OPMGetVideoOutputsFromHMONITOR)(monitor_, OPM_VOS_OPM_SEMANTICS, count, outputs);
  }
  // Ends the library's run; its call log.
  std::string Unload() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
    std::ostringstream text;
    text << std::ifstream(std::filesystem::path(log_), std::ios::binary).rdbuf();
    return text.str();
  }

 private:
  std::wstring scenario_, log_;
  HMODULE module_ = nullptr;
  HMONITOR monitor_ = nullptr;
};

// The scenario's failures and descriptions show in the Wine end-to-end
// cases; here a failure with the value 0 leaves 0 as the last error, and a
// call that succeeds leaves the last error alone.
TEST(Dxva2Test, ServesWinesDisplayMonitorFromTheScenarioWithItsLastErrors) {
  Library library(Display(R"([{"fail": {"SaveCurrentMonitorSettings": 0}}, {}])"));
  ASSERT_TRUE(library.loaded()) << GetLastError();
  std::vector<PHYSICAL_MONITOR> monitors = library.Monitors();
  ASSERT_EQ(monitors.size(), 2u);
  const HANDLE handle = monitors[0].hPhysicalMonitor;
  DWORD minimum = 1, current = 2, maximum = 3;
  SetLastError(1234);
  EXPECT_FALSE(EXPORT(library, SaveCurrentMonitorSettings)(handle));
  EXPECT_EQ(GetLastError(), 0u);
  SetLastError(1234);
  EXPECT_TRUE(EXPORT(library, GetMonitorContrast)(handle, &minimum, &current, &maximum));
  EXPECT_EQ(GetLastError(), 1234u);

  EXPECT_TRUE(EXPORT(library, DestroyPhysicalMonitors)(2, monitors.data()));
  EXPECT_FALSE(EXPORT(library, DestroyPhysicalMonitor)(handle));
  EXPECT_EQ(GetLastError(), 0xC026258Cu);  // ERROR_GRAPHICS_INVALID_PHYSICAL_MONITOR_HANDLE
  EXPECT_EQ(library.Unload(), "");

  // Wine's display monitor beyond the scenario's displays, and a handle
  // that Wine does not enumerate.
  Library none("[]");
  ASSERT_TRUE(none.loaded());
  for (HMONITOR monitor : {none.monitor(), reinterpret_cast<HMONITOR>(0x7FFF1234)}) {
    DWORD count = 7;
    SetLastError(0);
    EXPECT_FALSE(EXPORT(none, GetNumberOfPhysicalMonitorsFromHMONITOR)(monitor, &count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MONITOR_HANDLE));
    EXPECT_EQ(count, 7u);
  }
}

// The outputs' array and the driver's certificate are the caller's, in
// COM task memory; at the end the library reports the handle and the
// output that were not given back.
TEST(Dxva2Test, OpmOutputsAreComObjectsAndWhatIsKeptIsReported) {
  Library library(Display("[{}, {}]", R"([{"connector": 5}, {"connector": 10}])"));
  ASSERT_TRUE(library.loaded()) << GetLastError();
  std::vector<PHYSICAL_MONITOR> monitors = library.Monitors();
  ASSERT_EQ(monitors.size(), 2u);
  EXPECT_TRUE(EXPORT(library, DestroyPhysicalMonitor)(monitors[0].hPhysicalMonitor));
  ULONG count = 0;
  IOPMVideoOutput** outputs = nullptr;
  ASSERT_EQ(library.Outputs(&count, &outputs), S_OK);
  ASSERT_EQ(count, 2u);
  void* same = nullptr;
  ASSERT_EQ(outputs[0]->QueryInterface(IID_IUnknown, &same), S_OK);
  EXPECT_EQ(same, static_cast<void*>(outputs[0]));
  EXPECT_EQ(outputs[0]->Release(), 1u);
  ASSERT_EQ(outputs[0]->QueryInterface(kIidOpmVideoOutput, &same), S_OK);
  EXPECT_EQ(same, static_cast<void*>(outputs[0]));
  EXPECT_EQ(outputs[0]->Release(), 1u);
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(outputs[0]->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);

  OPM_RANDOM_NUMBER random = {};
  BYTE* certificate = nullptr;
  ULONG length = 0;
  ASSERT_EQ(outputs[1]->StartInitialization(&random, &certificate, &length), S_OK);
  EXPECT_GT(length, 0u);
  CoTaskMemFree(certificate);
  EXPECT_EQ(outputs[1]->Release(), 0u);
  CoTaskMemFree(outputs);
  EXPECT_EQ(library.Unload(),
            "OPM StartInitialization \\\\.\\DISPLAY1#1\n"
            "NOT RELEASED at exit: 1 physical monitor handle(s), 1 OPM video output(s)\n");

  Library without(Display("[{}]"));
  ASSERT_TRUE(without.loaded());
  count = 5;
  EXPECT_EQ(without.Outputs(&count, &outputs), static_cast<HRESULT>(0xC0262500));  // OPM not supported
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(outputs, nullptr);
}

}  // namespace
