// The Windows parts of the test support: temporary directories and child processes.
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "tests/test_files.h"

namespace corvinade::test {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  wchar_t base[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
  if (length == 0 || length > MAX_PATH) {
    throw std::runtime_error("GetTempPathW failed");
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring path = std::wstring(base) + L"corvinade-test-" +
                              std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(counter++);
    if (::CreateDirectoryW(path.c_str(), nullptr)) {
      path_ = path;
      return;
    }
  }
  throw std::runtime_error("CreateDirectoryW failed");
}

TempDir::~TempDir() {
  // Tests leave read-only files behind; Windows deletes them only without that attribute.
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(path_, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  std::filesystem::remove_all(path_, error);
}

bool ReadOnlyAttributeIsEnforced(const NativeString& readOnlyFile) {
  const HANDLE file = ::CreateFileW(readOnlyFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return true;
  }
  ::CloseHandle(file);
  return false;
}

namespace {

// One argument quoted so that the C run-time's parser gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t character : argument) {
    if (character == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are literal unless a quote follows them.
    quoted.append(character == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += character;
  }
  quoted.append(2 * backslashes, L'\\');
  quoted += L'"';
  return quoted;
}

// Reads `pipe` to its end into `sink`.
void Drain(HANDLE pipe, std::string* sink) {
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    sink->append(buffer, read);
  }
}

struct Handle {
  HANDLE value = nullptr;
  ~Handle() {
    if (value != nullptr && value != INVALID_HANDLE_VALUE) {
      ::CloseHandle(value);
    }
  }
};

}  // namespace

ProcessResult RunToolWithArgv(const NativeString& program, const std::vector<NativeString>& argv,
                              int timeoutSeconds) {
  std::wstring commandLine;
  for (const std::wstring& argument : argv) {
    commandLine += (commandLine.empty() ? L"" : L" ") + QuoteArgument(argument);
  }

  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  Handle outRead, outWrite, errRead, errWrite, input;
  if (!::CreatePipe(&outRead.value, &outWrite.value, &inheritable, 0) ||
      !::CreatePipe(&errRead.value, &errWrite.value, &inheritable, 0)) {
    throw std::runtime_error("CreatePipe failed");
  }
  ::SetHandleInformation(outRead.value, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(errRead.value, HANDLE_FLAG_INHERIT, 0);
  input.value = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              &inheritable, OPEN_EXISTING, 0, nullptr);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.value;
  startup.hStdOutput = outWrite.value;
  startup.hStdError = errWrite.value;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process)) {
    throw std::runtime_error("CreateProcessW failed");
  }
  Handle processHandle{process.hProcess};
  Handle threadHandle{process.hThread};
  // Only the child holds the write ends now, so the reads end when it does.
  ::CloseHandle(outWrite.value);
  outWrite.value = nullptr;
  ::CloseHandle(errWrite.value);
  errWrite.value = nullptr;

  ProcessResult result;
  std::thread outReader(Drain, outRead.value, &result.standardOutput);
  std::thread errReader(Drain, errRead.value, &result.standardError);
  if (::WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeoutSeconds) * 1000) !=
      WAIT_OBJECT_0) {
    result.timedOut = true;
    ::TerminateProcess(process.hProcess, 255);
    ::WaitForSingleObject(process.hProcess, INFINITE);
  }
  outReader.join();
  errReader.join();
  DWORD exitCode = 0;
  ::GetExitCodeProcess(process.hProcess, &exitCode);
  result.exitStatus = static_cast<int>(exitCode);
  return result;
}

}  // namespace corvinade::test
