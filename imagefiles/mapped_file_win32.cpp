// The Windows backend of MappedFile: CreateFileW, CreateFileMappingW and MapViewOfFile over
// the whole file, FlushViewOfFile followed by FlushFileBuffers, and containment of the
// faults that an access to the view can raise.
#include <windows.h>

#include <cstdint>

#include "imagefiles/mapped_file.h"

namespace corvinade {

namespace {

HANDLE AsHandle(std::intptr_t value) {
  return reinterpret_cast<HANDLE>(value);
}

std::intptr_t FromHandle(HANDLE handle) {
  return reinterpret_cast<std::intptr_t>(handle);
}

// What a fault that the guard contains looks like: an access violation or an in-page
// error (the file's bytes could not be read or written) at an address inside the view.
bool IsFaultInView(const EXCEPTION_RECORD& record, std::uintptr_t viewStart,
                   std::uintptr_t viewEnd) {
  if (record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION &&
      record.ExceptionCode != EXCEPTION_IN_PAGE_ERROR) {
    return false;
  }
  if (record.NumberParameters < 2) {
    return false;
  }
  const std::uintptr_t address = record.ExceptionInformation[1];
  return address >= viewStart && address < viewEnd;
}

}  // namespace

FileStatus MappedFile::Open(const NativeChar* path, MapAccess access) {
  Release();
  const bool writable = access == MapAccess::ReadWrite;
  const HANDLE file = ::CreateFileW(path, writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return FileStatus::CannotOpen;
  }
  file_ = FromHandle(file);

  // Size 0 maps the whole file; an empty file cannot be mapped and fails here.
  const HANDLE mapping =
      ::CreateFileMappingW(file, nullptr, writable ? PAGE_READWRITE : PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) {
    Release();
    return FileStatus::CannotOpen;
  }
  mapping_ = FromHandle(mapping);

  void* view = ::MapViewOfFile(mapping, writable ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) {
    Release();
    return FileStatus::CannotOpen;
  }
  view_ = static_cast<std::uint8_t*>(view);

  // The length is the file's, taken now that the mapping exists: Windows then refuses to
  // cut the file below the mapping's size. The view's region bounds it too, in case the
  // file grew between the two calls.
  LARGE_INTEGER size{};
  MEMORY_BASIC_INFORMATION region{};
  if (!::GetFileSizeEx(file, &size) || size.QuadPart <= 0 ||
      ::VirtualQuery(view, &region, sizeof region) == 0) {
    Release();
    return FileStatus::CannotOpen;
  }
  const auto fileLength = static_cast<std::uint64_t>(size.QuadPart);
  const auto regionLength = static_cast<std::uint64_t>(region.RegionSize);
  length_ = fileLength < regionLength ? fileLength : regionLength;
  return FileStatus::Ok;
}

bool MappedFile::Flush() {
  // FlushViewOfFile only hands the pages to the system; FlushFileBuffers waits until the
  // file's bytes are on the disk. Success is reported only after both.
  return view_ != nullptr && ::FlushViewOfFile(view_, 0) != 0 &&
         ::FlushFileBuffers(AsHandle(file_)) != 0;
}

void MappedFile::Release() {
  if (view_ != nullptr) {
    ::UnmapViewOfFile(view_);
    view_ = nullptr;
    length_ = 0;
  }
  if (mapping_ != 0) {
    ::CloseHandle(AsHandle(mapping_));
    mapping_ = 0;
  }
  if (file_ != -1) {
    ::CloseHandle(AsHandle(file_));
    file_ = -1;
  }
}

#if defined(_MSC_VER)

// MSVC and clang-cl: structured exception handling does the job directly. The filter
// takes only faults inside the view; anything else goes on to crash as a bug should.
bool MappedFile::RunGuardedImpl(void (*work)(void*), void* context) {
  const auto viewStart = reinterpret_cast<std::uintptr_t>(view_);
  const auto viewEnd = viewStart + static_cast<std::uintptr_t>(length_);
  __try {
    work(context);
  } __except (IsFaultInView(*GetExceptionInformation()->ExceptionRecord, viewStart, viewEnd)
                  ? EXCEPTION_EXECUTE_HANDLER
                  : EXCEPTION_CONTINUE_SEARCH) {
    return false;
  }
  return true;
}

#else

// mingw-w64 GCC has no __try. A vectored exception handler, installed only while the work
// runs, sees every fault first. For one inside the view it hands the system back the
// register context captured when the guard started, and asks it to continue: the thread
// then resumes right after RtlCaptureContext, as if it had just returned a second time,
// and sees the fault flag set. This is setjmp/longjmp done by the system's own context
// restore, so no run-time library has to unwind through the exception dispatcher.
// Faults outside the view are passed on untouched. The tool is single-threaded and
// guards do not nest, so one guard at a time is enough.
namespace {

struct FaultGuard {
  CONTEXT resume;
  std::uintptr_t viewStart;
  std::uintptr_t viewEnd;
  volatile bool faulted;
};
FaultGuard* volatile activeGuard = nullptr;

LONG CALLBACK OnException(EXCEPTION_POINTERS* exception) {
  FaultGuard* guard = activeGuard;
  if (guard == nullptr ||
      !IsFaultInView(*exception->ExceptionRecord, guard->viewStart, guard->viewEnd)) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  guard->faulted = true;
  *exception->ContextRecord = guard->resume;
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

bool MappedFile::RunGuardedImpl(void (*work)(void*), void* context) {
  // Static, not on the stack: the resumed frame must find it whatever the registers say.
  static FaultGuard guard;
  guard.viewStart = reinterpret_cast<std::uintptr_t>(view_);
  guard.viewEnd = guard.viewStart + static_cast<std::uintptr_t>(length_);
  guard.faulted = false;

  void* const handler = ::AddVectoredExceptionHandler(1, OnException);
  if (handler == nullptr) {
    return false;
  }
  activeGuard = &guard;
  ::RtlCaptureContext(&guard.resume);
  // Reached twice after a fault: first on the way in, then again once the handler has
  // restored the captured context. `faulted` tells the two apart.
  if (!guard.faulted) {
    work(context);
  }
  activeGuard = nullptr;
  ::RemoveVectoredExceptionHandler(handler);
  return !guard.faulted;
}

#endif

}  // namespace corvinade
