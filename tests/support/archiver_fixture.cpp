#include "tests/support/archiver_fixture.h"

#include <cstring>

#include "plugin/format/header_notice.h"
#include "runtime/services/services.h"

namespace testing_support {

ArchiverFixture::ArchiverFixture(TestHost& host) {
  EXPECT_EQ(host::CreateObjectQuick(host.root(), &source_, IID_FS_SOURCE, arjrt::PID_NATIVE_FS_SOURCE), RESULT_OK);
  host.runtime().AddMessageHandler(source_, [this](const arjrt::Message& m) -> ResultCode {
    if (m.msg_class == MSG_CLASS_ARCHIVE && m.id == MSG_ENTRY_HEADER) {
      uint32_t row = 0;
      arjhost::format::HeaderFields h;
      const bool whole = m.buffer != nullptr && m.length != nullptr &&
                         arjhost::format::DecodeHeaderNotice(static_cast<const uint8_t*>(m.buffer), *m.length, &row, &h);
      EXPECT_TRUE(whole) << "a notice holds a whole header";
      if (whole) headers_.push_back({row, m.context, h.offset, h.name});
      return RESULT_OK;
    }
    uint64_t digest = 0;
    if (m.buffer != nullptr && m.length != nullptr && *m.length == 8) std::memcpy(&digest, m.buffer, 8);
    messages_.push_back({m.id, m.context, digest});
    return RESULT_OK;
  });
}

ArchiverFixture::~ArchiverFixture() { host::CloseIfOpen(source_); }

ResultCode ArchiverFixture::OpenMemory(const Bytes& bytes, const std::string& name, uint32_t scan_all) {
  bytes_ = bytes;
  ResultCode r = host::CreateObject(source_, &io_, IID_BLOCK_IO, PID_MEMORY_IO);
  if (Failed(r)) return r;
  r = host::SetPropQWord(io_, arjrt::PROP_MEMORY_VIEW_ADDRESS, reinterpret_cast<uintptr_t>(bytes_.data()));
  if (!Failed(r)) r = host::SetPropQWord(io_, arjrt::PROP_MEMORY_VIEW_SIZE, bytes_.size());
  if (!Failed(r)) r = host::SetPropBuffer(io_, PROP_OBJECT_NAME, name.c_str(), static_cast<uint32_t>(name.size() + 1));
  if (!Failed(r)) r = host::CreateObjectDone(io_);
  return Failed(r) ? r : Finish(scan_all);
}

ResultCode ArchiverFixture::OpenFile(const std::string& path, uint32_t scan_all) {
  ResultCode r = host::CreateObject(source_, &io_, IID_BLOCK_IO, PID_NATIVE_FILE_IO);
  if (Failed(r)) return r;
  r = host::SetPropBuffer(io_, PROP_OBJECT_PATH, path.c_str(), static_cast<uint32_t>(path.size() + 1));
  if (!Failed(r)) r = host::SetPropDWord(io_, PROP_ACCESS_MODE, ACCESS_READ);
  if (!Failed(r)) r = host::SetPropDWord(io_, PROP_OPEN_MODE, OPEN_EXISTING);
  if (!Failed(r)) r = host::CreateObjectDone(io_);
  return Failed(r) ? r : Finish(scan_all);
}

ResultCode ArchiverFixture::Finish(uint32_t scan_all) {
  ResultCode r = host::CreateObject(io_, &archiver_, IID_MINIARCHIVER, PID_ARJ);
  if (Failed(r)) return r;
  r = host::SetPropDWord(archiver_, PROP_SCAN_ALL_VOLUMES, scan_all);
  return Failed(r) ? r : host::CreateObjectDone(archiver_);
}

std::vector<uint64_t> ArchiverFixture::Handles() {
  const MiniArchiverMethods& m = host::Archiver(archiver_);
  std::vector<uint64_t> handles;
  EXPECT_EQ(m.Reset(archiver_), RESULT_OK);
  uint64_t handle = 0;
  while (m.Next(archiver_, &handle, handle) == RESULT_OK && handles.size() < 100000) handles.push_back(handle);
  return handles;
}

ResultCode ArchiverFixture::Read(uint64_t handle, PropId prop, void* buffer, uint32_t size, uint32_t* length) {
  if (handle != 0) {
    const ResultCode r = host::SetPropQWord(archiver_, PROP_ENTRY_SELECTOR, handle);
    if (Failed(r)) return r;
  }
  uint32_t ignored = 0;
  return archiver_->system->GetPropBuffer(archiver_, length ? length : &ignored, prop, buffer, size);
}

std::string ArchiverFixture::Name(uint64_t handle) {
  char name[600] = {};
  uint32_t length = 0;
  if (Failed(Read(handle, PROP_OBJECT_NAME, name, sizeof name, &length))) return "<error>";
  return name;
}

uint64_t ArchiverFixture::Size(uint64_t handle) {
  uint64_t v = 0;
  Read(handle, PROP_OBJECT_SIZE, &v, sizeof v, nullptr);
  return v;
}

uint32_t ArchiverFixture::Packed(uint64_t handle) {
  uint32_t v = 0;
  Read(handle, PROP_PACKED_SIZE, &v, sizeof v, nullptr);
  return v;
}

}  // namespace testing_support
