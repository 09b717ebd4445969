// glyphpack's input as the COM stream that Windows' decoders read: WIC takes it as it is, and
// Media Foundation through a byte stream made on it. The decoders call it from threads of
// their own, so each call takes a lock; once glyphpack lets the source go, any call a decoder
// still makes fails instead of touching it.
#include "glyphpack/decode/win32/source_stream.hpp"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <limits>

namespace glyphreeler {
namespace {

struct locked {
  explicit locked(SRWLOCK& lock) : held(lock) { ::AcquireSRWLockExclusive(&held); }
  ~locked() { ::ReleaseSRWLockExclusive(&held); }
  locked(const locked&) = delete;
  locked& operator=(const locked&) = delete;
  SRWLOCK& held;
};

// The one COM object glyphpack makes: an IStream, read-only, over a byte source it does not
// own. COM asks for a class that implements the interface; nothing derives from it.
class source_stream final : public IStream {
 public:
  source_stream(byte_source& source, decoding_watch* watch) : source_(&source), watch_(watch) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (id == IID_IUnknown || id == IID_ISequentialStream || id == IID_IStream) {
      *object = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // S_OK when all `count` bytes came, S_FALSE for fewer at the input's end; a failed read of
  // the input (its error kept in the source for glyphpack to report) fails the call.
  HRESULT STDMETHODCALLTYPE Read(void* into, ULONG count, ULONG* got) override {
    const locked guard(lock_);
    ULONG total = 0;
    if (got != nullptr) *got = 0;
    if (source_ == nullptr) return E_UNEXPECTED;
    if (into == nullptr) return STG_E_INVALIDPOINTER;
    const input_wait waiting(watch_);
    while (total < count) {
      const std::size_t read =
          source_read(*source_, static_cast<unsigned char*>(into) + total, count - total);
      if (read == 0) break;
      total += static_cast<ULONG>(read);
    }
    if (got != nullptr) *got = total;
    if (source_->error != 0) return STG_E_READFAULT;
    return total == count ? S_OK : S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override {
    return STG_E_ACCESSDENIED;
  }

  // A file moves anywhere within it; a pipe moves only forward, by reading, or back within the
  // bytes still held from the look at its start.
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* now) override {
    const locked guard(lock_);
    if (source_ == nullptr) return E_UNEXPECTED;
    const std::int64_t here = source_offset(*source_);
    std::int64_t base = 0;
    if (origin == STREAM_SEEK_CUR) {
      base = here;
    } else if (origin == STREAM_SEEK_END) {
      base = source_size(*source_);
      if (base < 0) return STG_E_INVALIDFUNCTION;
    } else if (origin != STREAM_SEEK_SET) {
      return STG_E_INVALIDFUNCTION;
    }
    const std::int64_t offset = move.QuadPart;
    if ((offset > 0 && base > std::numeric_limits<std::int64_t>::max() - offset) ||
        base + offset < 0) {
      return STG_E_INVALIDFUNCTION;
    }
    const std::int64_t target = base + offset;
    if (target != here && !source_seek(*source_, target)) {
      if (target < here || !skip_to(target)) return STG_E_INVALIDFUNCTION;
    }
    if (now != nullptr) now->QuadPart = static_cast<ULONGLONG>(source_offset(*source_));
    return S_OK;
  }

  // Only the size is known, and only that of a file; a pipe's is not.
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* status, DWORD) override {
    const locked guard(lock_);
    if (status == nullptr) return STG_E_INVALIDPOINTER;
    std::memset(status, 0, sizeof *status);
    if (source_ == nullptr) return E_UNEXPECTED;
    status->type = STGTY_STREAM;
    status->grfMode = STGM_READ;
    const std::int64_t size = source_size(*source_);
    if (size < 0) return STG_E_INVALIDFUNCTION;
    status->cbSize.QuadPart = static_cast<ULONGLONG>(size);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  // A second reader would need a position of its own in a source that has only one.
  HRESULT STDMETHODCALLTYPE Clone(IStream** copy) override {
    if (copy != nullptr) *copy = nullptr;
    return E_NOTIMPL;
  }

  void let_go() {
    const locked guard(lock_);
    source_ = nullptr;
  }

 private:
  ~source_stream() = default;

  // Reads forward to `target`, for a source that cannot be repositioned.
  bool skip_to(std::int64_t target) {
    const input_wait waiting(watch_);
    source_skip(*source_, static_cast<std::size_t>(target - source_offset(*source_)));
    return source_offset(*source_) == target;
  }

  std::atomic<ULONG> references_{1};
  SRWLOCK lock_ = SRWLOCK_INIT;
  byte_source* source_;    // null once let go
  decoding_watch* watch_;  // told of each wait on the source; may be null
};

}  // namespace

source_stream_handle::~source_stream_handle() {
  if (stream == nullptr) return;
  static_cast<source_stream*>(stream)->let_go();
  stream->Release();
}

void open_source_stream(source_stream_handle& handle, byte_source& source, decoding_watch* watch) {
  handle.stream = new source_stream(source, watch);
}

void let_go_of_source(source_stream_handle& handle) {
  if (handle.stream != nullptr) static_cast<source_stream*>(handle.stream)->let_go();
  handle.stream = nullptr;
}

bool rewind_source_stream(IStream& stream) {
  LARGE_INTEGER start{};
  return SUCCEEDED(stream.Seek(start, STREAM_SEEK_SET, nullptr));
}

}  // namespace glyphreeler
