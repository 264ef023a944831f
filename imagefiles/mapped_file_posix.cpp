// The POSIX backend of MappedFile: open(2), fstat(2), mmap(2) with MAP_SHARED, msync(2),
// and SIGBUS/SIGSEGV containment for the view.
#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "imagefiles/mapped_file.h"

namespace corvinade {

FileStatus MappedFile::Open(const NativeChar* path, MapAccess access) {
  Release();
  const bool writable = access == MapAccess::ReadWrite;
  // O_NONBLOCK and O_NOCTTY: a FIFO or a terminal given by mistake must not block the
  // tool or become its controlling terminal; fstat below turns it away.
  const int fd = ::open(path, (writable ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return FileStatus::CannotOpen;
  }
  file_ = fd;

  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0 ||
      static_cast<std::uint64_t>(status.st_size) > SIZE_MAX) {
    Release();
    return FileStatus::CannotOpen;
  }
  const auto length = static_cast<std::size_t>(status.st_size);
  void* view =
      ::mmap(nullptr, length, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) {
    Release();
    return FileStatus::CannotOpen;
  }
  view_ = static_cast<std::uint8_t*>(view);
  length_ = length;
  return FileStatus::Ok;
}

bool MappedFile::Flush() {
  return view_ != nullptr && ::msync(view_, static_cast<std::size_t>(length_), MS_SYNC) == 0;
}

void MappedFile::Release() {
  if (view_ != nullptr) {
    ::munmap(view_, static_cast<std::size_t>(length_));
    view_ = nullptr;
    length_ = 0;
  }
  if (file_ >= 0) {
    ::close(static_cast<int>(file_));
    file_ = -1;
  }
}

namespace {

// The guard that is running, if any. The tool is single-threaded and guards do not nest.
struct FaultGuard {
  sigjmp_buf resume;
  std::uintptr_t viewStart;
  std::uintptr_t viewEnd;
  struct sigaction previousBus;
  struct sigaction previousSegv;
};
FaultGuard* volatile activeGuard = nullptr;

void OnFault(int signal, siginfo_t* info, void*) {
  FaultGuard* guard = activeGuard;
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  // si_code > 0: raised by the hardware for an access, not sent by another process.
  if (guard != nullptr && info->si_code > 0 && address >= guard->viewStart &&
      address < guard->viewEnd) {
    siglongjmp(guard->resume, 1);
  }
  // Not a fault of the view: give the signal back to whoever had it, so that a real bug
  // still crashes. Returning re-runs the faulting access under the previous action; a
  // signal sent by another process is raised again and delivered on return.
  if (guard != nullptr) {
    ::sigaction(signal, signal == SIGBUS ? &guard->previousBus : &guard->previousSegv, nullptr);
  } else {
    ::signal(signal, SIG_DFL);
  }
  if (info->si_code <= 0) {
    ::raise(signal);
  }
}

}  // namespace

bool MappedFile::RunGuardedImpl(void (*work)(void*), void* context) {
  FaultGuard guard;
  guard.viewStart = reinterpret_cast<std::uintptr_t>(view_);
  guard.viewEnd = guard.viewStart + static_cast<std::uintptr_t>(length_);

  struct sigaction action {};
  action.sa_sigaction = OnFault;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, &guard.previousBus);
  ::sigaction(SIGSEGV, &action, &guard.previousSegv);
  activeGuard = &guard;

  bool completed = false;
  // The saved signal mask is restored by the jump, so the signal is not left blocked.
  if (sigsetjmp(guard.resume, 1) == 0) {
    work(context);
    completed = true;
  }

  activeGuard = nullptr;
  ::sigaction(SIGBUS, &guard.previousBus, nullptr);
  ::sigaction(SIGSEGV, &guard.previousSegv, nullptr);
  return completed;
}

}  // namespace corvinade
