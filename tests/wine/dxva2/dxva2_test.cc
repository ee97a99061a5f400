// The test-only dxva2.dll itself, under Wine: each test writes a scenario,
// loads the library from beside this program (as monctl.exe does, with
// WINEDLLOVERRIDES=dxva2=n,b set by the test's registration) and calls its
// exports on Wine's own display monitors. Unloading the library ends its
// run, which is when it reports what was not given back.
#include <windows.h>
#include <d3d9.h>
#include <highlevelmonitorconfigurationapi.h>
#include <objbase.h>
#include <opmapi.h>
#include <physicalmonitorenumerationapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using GetCountFn = BOOL(WINAPI*)(HMONITOR, LPDWORD);
using GetMonitorsFn = BOOL(WINAPI*)(HMONITOR, DWORD, LPPHYSICAL_MONITOR);
using DestroyMonitorsFn = BOOL(WINAPI*)(DWORD, LPPHYSICAL_MONITOR);
using DestroyMonitorFn = BOOL(WINAPI*)(HANDLE);
using GetLevelsFn = BOOL(WINAPI*)(HANDLE, LPDWORD, LPDWORD, LPDWORD);
using SetLevelFn = BOOL(WINAPI*)(HANDLE, DWORD);
using SaveFn = BOOL(WINAPI*)(HANDLE);
using GetOutputsFn = HRESULT(WINAPI*)(HMONITOR, OPM_VIDEO_OUTPUT_SEMANTICS, ULONG*, IOPMVideoOutput***);

constexpr DWORD kErrorInvalidMonitorHandle = 1461;
constexpr DWORD kErrorInvalidPhysicalMonitorHandle = 0xC026258C;
constexpr HRESULT kOpmNotSupported = static_cast<HRESULT>(0xC0262500);
constexpr GUID kIidOpmVideoOutput = {0x0A15159D, 0x41C7, 0x4456, {0x93, 0xE1, 0x28, 0x4C, 0xD6, 0x1D, 0x4E, 0x8D}};

// One display with `physical` (JSON objects) and, when given, `opm`.
std::string Scenario(const std::string& physical, const std::string& opm = "") {
  return R"({"displays": [{"device": "\\\\.\\DISPLAY1", "adapter": "Wine Adapter", "primary": true,
             "physical": [)" +
         physical + "]" + (opm.empty() ? "" : ", \"opm\": [" + opm + "]") + "}]}";
}

std::wstring Folder(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

HMONITOR FirstMonitor() {
  HMONITOR first = nullptr;
  EnumDisplayMonitors(
      nullptr, nullptr,
      [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
        *reinterpret_cast<HMONITOR*>(data) = monitor;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&first));
  return first;
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The library loaded for one scenario, with a call log of its own.
class Library {
 public:
  explicit Library(const std::string& scenario) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring stem =
        std::wstring(temp) + L"monctl-dxva2-test-" + std::to_wstring(GetCurrentProcessId()) + L"-";
    scenario_path_ = stem + L"scenario.json";
    log_path_ = stem + L"calls.log";
    std::ofstream(std::filesystem::path(scenario_path_), std::ios::binary) << scenario;
    DeleteFileW(log_path_.c_str());
    SetEnvironmentVariableW(L"MONCTL_SIM_SCENARIO", scenario_path_.c_str());
    SetEnvironmentVariableW(L"MONCTL_SIM_LOG", log_path_.c_str());
    module_ = LoadLibraryW((Folder(nullptr) + L"dxva2.dll").c_str());
  }

  ~Library() {
    Unload();
    DeleteFileW(scenario_path_.c_str());
    DeleteFileW(log_path_.c_str());
  }

  bool loaded() const { return module_ != nullptr; }

  // Whether the module is the test library rather than Wine's own dxva2.
  bool is_test_library() const { return module_ != nullptr && Folder(module_) == Folder(nullptr); }

  template <typename Function>
  Function Get(const char* name) const {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

  // Ends the library's run.
  void Unload() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
  }

  std::string Log() const { return ReadFile(log_path_); }

 private:
  std::wstring scenario_path_;
  std::wstring log_path_;
  HMODULE module_ = nullptr;
};

class Dxva2Test : public ::testing::Test {
 protected:
  void Load(const std::string& scenario) {
    library_ = std::make_unique<Library>(scenario);
    ASSERT_TRUE(library_->loaded()) << "LoadLibrary failed: " << GetLastError();
    ASSERT_TRUE(library_->is_test_library()) << "Wine's own dxva2 was loaded";
    monitor_ = FirstMonitor();
    ASSERT_NE(monitor_, nullptr);
  }

  std::vector<PHYSICAL_MONITOR> Monitors() {
    DWORD count = 0;
    EXPECT_TRUE(library_->Get<GetCountFn>("GetNumberOfPhysicalMonitorsFromHMONITOR")(monitor_, &count));
    std::vector<PHYSICAL_MONITOR> monitors(count);
    EXPECT_TRUE(library_->Get<GetMonitorsFn>("GetPhysicalMonitorsFromHMONITOR")(monitor_, count, monitors.data()));
    return monitors;
  }

  std::unique_ptr<Library> library_;
  HMONITOR monitor_ = nullptr;
};

TEST_F(Dxva2Test, ServesThePhysicalMonitorsOfWinesFirstDisplayMonitor) {
  Load(Scenario(R"({"description": "First"}, {"description": "Second"})"));
  std::vector<PHYSICAL_MONITOR> monitors = Monitors();
  ASSERT_EQ(monitors.size(), 2u);
  EXPECT_STREQ(monitors[0].szPhysicalMonitorDescription, L"First");
  EXPECT_STREQ(monitors[1].szPhysicalMonitorDescription, L"Second");
  EXPECT_NE(monitors[0].hPhysicalMonitor, monitors[1].hPhysicalMonitor);

  EXPECT_TRUE(library_->Get<DestroyMonitorsFn>("DestroyPhysicalMonitors")(2, monitors.data()));
  SetLastError(0);
  EXPECT_FALSE(library_->Get<DestroyMonitorFn>("DestroyPhysicalMonitor")(monitors[0].hPhysicalMonitor));
  EXPECT_EQ(GetLastError(), kErrorInvalidPhysicalMonitorHandle);
}

TEST_F(Dxva2Test, RefusesDisplayMonitorsItDoesNotServe) {
  Load(R"({"displays": []})");
  DWORD count = 7;
  SetLastError(0);
  // Wine's display monitor beyond the scenario's displays.
  EXPECT_FALSE(library_->Get<GetCountFn>("GetNumberOfPhysicalMonitorsFromHMONITOR")(monitor_, &count));
  EXPECT_EQ(GetLastError(), kErrorInvalidMonitorHandle);
  // A handle that Wine does not enumerate.
  SetLastError(0);
  EXPECT_FALSE(library_->Get<GetCountFn>("GetNumberOfPhysicalMonitorsFromHMONITOR")(
      reinterpret_cast<HMONITOR>(0x7FFF1234), &count));
  EXPECT_EQ(GetLastError(), kErrorInvalidMonitorHandle);
  EXPECT_EQ(count, 7u);
}

TEST_F(Dxva2Test, SetsTheLastErrorExactlyAsTheScenarioSays) {
  Load(Scenario(R"({"fail": {"GetMonitorBrightness": 3223725445, "SaveCurrentMonitorSettings": 0}})"));
  std::vector<PHYSICAL_MONITOR> monitors = Monitors();
  ASSERT_EQ(monitors.size(), 1u);
  const HANDLE handle = monitors[0].hPhysicalMonitor;
  DWORD minimum = 1, current = 2, maximum = 3;
  SetLastError(0);
  EXPECT_FALSE(library_->Get<GetLevelsFn>("GetMonitorBrightness")(handle, &minimum, &current, &maximum));
  EXPECT_EQ(GetLastError(), 0xC0262585u);
  EXPECT_EQ(current, 2u);
  // A failure with the value 0 leaves 0, not what was there before.
  SetLastError(1234);
  EXPECT_FALSE(library_->Get<SaveFn>("SaveCurrentMonitorSettings")(handle));
  EXPECT_EQ(GetLastError(), 0u);
  // A call that succeeds leaves the last error alone.
  SetLastError(1234);
  EXPECT_TRUE(library_->Get<GetLevelsFn>("GetMonitorContrast")(handle, &minimum, &current, &maximum));
  EXPECT_EQ(GetLastError(), 1234u);
  EXPECT_TRUE(library_->Get<DestroyMonitorsFn>("DestroyPhysicalMonitors")(1, monitors.data()));
}

TEST_F(Dxva2Test, LogsTheChangesAndNothingElseWhenAllIsReleased) {
  Load(Scenario(R"({"description": "A"}, {"description": "B", "brightness": [0, 10, 100]})"));
  std::vector<PHYSICAL_MONITOR> monitors = Monitors();
  ASSERT_EQ(monitors.size(), 2u);
  EXPECT_TRUE(library_->Get<SetLevelFn>("SetMonitorBrightness")(monitors[1].hPhysicalMonitor, 70));
  DWORD minimum = 0, current = 0, maximum = 0;
  EXPECT_TRUE(
      library_->Get<GetLevelsFn>("GetMonitorBrightness")(monitors[1].hPhysicalMonitor, &minimum, &current, &maximum));
  EXPECT_EQ(current, 70u);
  EXPECT_TRUE(library_->Get<SaveFn>("SaveCurrentMonitorSettings")(monitors[0].hPhysicalMonitor));
  EXPECT_TRUE(library_->Get<DestroyMonitorsFn>("DestroyPhysicalMonitors")(2, monitors.data()));
  library_->Unload();
  EXPECT_EQ(library_->Log(),
            "SetMonitorBrightness \\\\.\\DISPLAY1#1 70\nSaveCurrentMonitorSettings \\\\.\\DISPLAY1#0\n");
}

TEST_F(Dxva2Test, OpmOutputsAreComObjectsInTaskMemory) {
  Load(Scenario(R"({}, {})", R"({"connector": 5}, {"connector": 10})"));
  ULONG count = 0;
  IOPMVideoOutput** outputs = nullptr;
  ASSERT_EQ(library_->Get<GetOutputsFn>("OPMGetVideoOutputsFromHMONITOR")(monitor_, OPM_VOS_OPM_SEMANTICS, &count,
                                                                           &outputs),
            S_OK);
  ASSERT_EQ(count, 2u);
  ASSERT_NE(outputs, nullptr);

  IUnknown* unknown = nullptr;
  ASSERT_EQ(outputs[0]->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(outputs[0]));
  void* same = nullptr;
  ASSERT_EQ(outputs[0]->QueryInterface(kIidOpmVideoOutput, &same), S_OK);
  EXPECT_EQ(same, static_cast<void*>(outputs[0]));
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(outputs[0]->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(unknown->Release(), 2u);
  EXPECT_EQ(outputs[0]->Release(), 1u);

  OPM_RANDOM_NUMBER random = {};
  BYTE* certificate = nullptr;
  ULONG length = 0;
  ASSERT_EQ(outputs[1]->StartInitialization(&random, &certificate, &length), S_OK);
  EXPECT_GT(length, 0u);
  ASSERT_NE(certificate, nullptr);
  // The certificate and the array are the caller's, in COM task memory.
  CoTaskMemFree(certificate);

  EXPECT_EQ(outputs[0]->Release(), 0u);
  EXPECT_EQ(outputs[1]->Release(), 0u);
  CoTaskMemFree(outputs);
  library_->Unload();
  EXPECT_EQ(library_->Log(), "OPM StartInitialization \\\\.\\DISPLAY1#1\n");
}

TEST_F(Dxva2Test, DisplayWithoutOpmOutputs) {
  Load(Scenario(R"({})"));
  ULONG count = 5;
  IOPMVideoOutput** outputs = reinterpret_cast<IOPMVideoOutput**>(1);
  EXPECT_EQ(library_->Get<GetOutputsFn>("OPMGetVideoOutputsFromHMONITOR")(monitor_, OPM_VOS_OPM_SEMANTICS, &count,
                                                                           &outputs),
            kOpmNotSupported);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(outputs, nullptr);
}

TEST_F(Dxva2Test, ReportsWhatIsNotGivenBackAtTheEnd) {
  Load(Scenario(R"({}, {})", R"({"connector": 5}, {"connector": 10})"));
  std::vector<PHYSICAL_MONITOR> monitors = Monitors();
  ASSERT_EQ(monitors.size(), 2u);
  EXPECT_TRUE(library_->Get<DestroyMonitorFn>("DestroyPhysicalMonitor")(monitors[0].hPhysicalMonitor));
  ULONG count = 0;
  IOPMVideoOutput** outputs = nullptr;
  ASSERT_EQ(library_->Get<GetOutputsFn>("OPMGetVideoOutputsFromHMONITOR")(monitor_, OPM_VOS_OPM_SEMANTICS, &count,
                                                                           &outputs),
            S_OK);
  ASSERT_EQ(count, 2u);
  // One handle and one output are kept; an extra reference keeps the other too.
  outputs[0]->AddRef();
  EXPECT_EQ(outputs[0]->Release(), 1u);
  outputs[1]->AddRef();
  EXPECT_EQ(outputs[1]->Release(), 1u);
  EXPECT_EQ(outputs[1]->Release(), 0u);
  CoTaskMemFree(outputs);
  library_->Unload();
  EXPECT_EQ(library_->Log(), "NOT RELEASED at exit: 1 physical monitor handle(s), 1 OPM video output(s)\n");
}

}  // namespace
