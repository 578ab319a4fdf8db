// The host's object model as both sides see it: objects, their method
// tables, the registration records a plug-in hands to the root object, and
// thin call helpers that keep the calling code readable.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "plugin/host/host_types.h"

struct HostObject;
using ObjectRef = HostObject*;
struct SystemMethods;

// A method table slot that returns a result code: a call goes through a
// [[nodiscard]] operator(), as attributes cannot mark a function pointer,
// so every caller acts on the result or says why not. Its layout is the
// bare function pointer's.
template <class Signature>
struct ResultSlot;
template <class... Args>
struct ResultSlot<ResultCode(Args...)> {
  using Pointer = ResultCode (*)(Args...);
  Pointer function = nullptr;

  constexpr ResultSlot() = default;
  constexpr ResultSlot(Pointer f) : function(f) {}  // implicit: tables are written as lists of functions
  [[nodiscard]] ResultCode operator()(Args... args) const { return function(args...); }
  friend constexpr bool operator==(ResultSlot slot, std::nullptr_t) { return slot.function == nullptr; }
};
static_assert(sizeof(ResultSlot<ResultCode(ObjectRef)>) == sizeof(ResultCode (*)(ObjectRef)) &&
              std::is_trivially_copyable_v<ResultSlot<ResultCode(ObjectRef)>>);

// Every host object starts with these three words.
struct HostObject {
  const void* methods;          // interface method table; its type follows the interface
  const SystemMethods* system;  // the host's system method table
  void* instance;               // the implementation's instance record
};

// The system methods every object has. The object comes first.
struct SystemMethods {
  ResultSlot<ResultCode(ObjectRef self, ObjectRef* out, uint32_t iid, uint32_t pid, uint32_t subtype)> CreateObject;
  ResultSlot<ResultCode(ObjectRef self, ObjectRef* out, uint32_t iid, uint32_t pid, uint32_t subtype)>
      CreateObjectQuick;
  ResultSlot<ResultCode(ObjectRef self)> CreateObjectDone;
  ResultSlot<ResultCode(ObjectRef self)> CloseObject;
  ObjectRef (*FindAncestor)(ObjectRef self, uint32_t iid);
  uint32_t (*GetPropDWord)(ObjectRef self, PropId prop);
  ResultSlot<ResultCode(ObjectRef self, uint32_t* length, PropId prop, char* buffer, uint32_t size, int32_t codepage)>
      GetPropString;
  ResultSlot<ResultCode(ObjectRef self, uint32_t* length, PropId prop, void* buffer, uint32_t size)> GetPropBuffer;
  ResultSlot<ResultCode(ObjectRef self, PropId prop, uint32_t value)> SetPropDWord;
  ResultSlot<ResultCode(ObjectRef self, PropId prop, uint32_t low, uint32_t high)> SetPropQWord;
  ResultSlot<ResultCode(ObjectRef self, PropId prop, ObjectRef value)> SetPropObject;
  ResultSlot<ResultCode(ObjectRef self, uint32_t* length, PropId prop, const void* buffer, uint32_t size)>
      SetPropBuffer;
  ResultSlot<ResultCode(ObjectRef self, uint32_t msg_class, uint32_t id, ObjectRef context, void* buffer,
                        uint32_t* length)>
      SendMessage;
  // Used by the runtime's own services and by embedders, not by the plug-in.
  uint64_t (*GetPropQWord)(ObjectRef self, PropId prop);
  ObjectRef (*GetPropObject)(ObjectRef self, PropId prop);
  ObjectRef (*GetParent)(ObjectRef self);
  // The object's interface, known to the host without running the object's
  // code; the plug-in asks it of a change list alone, for its version.
  uint32_t (*GetInterfaceId)(ObjectRef self);
};

// ---- Interface method tables ----------------------------------------------

// IID_BLOCK_IO. A read or write past the end delivers what there is: the
// count tells, the result is WARN_SHORT_READ for a part and ERR_END_OF_DATA
// for nothing. A request of 0 bytes succeeds.
struct BlockIoMethods {
  ResultSlot<ResultCode(ObjectRef self, uint32_t* count, uint64_t offset, void* buffer, uint32_t size)> SeekRead;
  ResultSlot<ResultCode(ObjectRef self, uint64_t* size, uint32_t reserved)> GetSize;
  ResultSlot<ResultCode(ObjectRef self, uint32_t* count, uint64_t offset, const void* buffer, uint32_t size)> SeekWrite;
  ResultSlot<ResultCode(ObjectRef self, uint64_t size)> SetSize;
  ResultSlot<ResultCode(ObjectRef self)> Flush;
};

// Seek origins of IID_STREAM.
constexpr uint32_t SEEK_FROM_START = 0;
constexpr uint32_t SEEK_FORWARD = 1;
constexpr uint32_t SEEK_FROM_END = 2;
constexpr uint32_t SEEK_BACKWARD = 3;

// IID_STREAM: a positioned, buffered view of an I/O object (its parent).
struct StreamMethods {
  ResultSlot<ResultCode(ObjectRef self, uint32_t* count, uint64_t offset, void* buffer, uint32_t size)> SeekRead;
  ResultSlot<ResultCode(ObjectRef self)> Flush;
  ResultSlot<ResultCode(ObjectRef self, uint32_t* count, void* buffer, uint32_t size)> Read;
  ResultSlot<ResultCode(ObjectRef self, uint8_t* value)> ReadByte;
  ResultSlot<ResultCode(ObjectRef self, uint16_t* value)> ReadWord;
  ResultSlot<ResultCode(ObjectRef self, uint32_t* count, const void* buffer, uint32_t size)> Write;
  ResultSlot<ResultCode(ObjectRef self, uint16_t value)> WriteWord;
  ResultSlot<ResultCode(ObjectRef self, uint32_t value)> WriteDWord;
  ResultSlot<ResultCode(ObjectRef self, uint64_t* position, uint64_t offset, uint32_t origin)> Seek;
  // Sets the position to (high << 32 | low); SetPosition(0, 0, 0) rewinds.
  ResultSlot<ResultCode(ObjectRef self, uint32_t low, uint32_t high, uint32_t reserved)> SetPosition;
};

// IID_RANGE_COPY, made as a child of an IID_STREAM (the source): copies
// byte ranges of the source's I/O into another stream without handing them
// to the caller. A host offers it where it can copy faster than reads and
// writes through a buffer would; where it cannot (or does not know the
// interface), creating the object fails and the caller copies itself.
struct RangeCopyMethods {
  // Copies `size` bytes from `offset` of the source to `destination`'s
  // position, which moves past them. *copied counts the bytes copied,
  // whatever the result. ERR_UNSUPPORTED: the host copies no more between
  // these two (it may have copied part): the rest is the caller's to copy,
  // and a source that ends early is the caller's to find. Any other failure
  // is the destination's write failing.
  ResultSlot<ResultCode(ObjectRef self, ObjectRef destination, uint64_t offset, uint64_t size, uint64_t* copied)>
      CopyTo;
};

// IID_MEMORY. Blocks start zero-filled; Realloc keeps the contents and
// zero-fills what it adds.
struct MemoryMethods {
  ResultSlot<ResultCode(ObjectRef self, void** block, uint64_t size)> Alloc;
  ResultSlot<ResultCode(ObjectRef self, void** block, void* old_block, uint64_t size)> Realloc;
  ResultSlot<ResultCode(ObjectRef self, void* block)> Free;
};

// IID_TEXT.
struct TextMethods {
  ResultSlot<ResultCode(ObjectRef self, uint32_t start, const char* buffer, uint32_t length, int32_t codepage,
                        uint32_t flags)>
      SetFromBuffer;
  ResultSlot<ResultCode(ObjectRef self, uint32_t start, uint32_t count, char* buffer, uint32_t size, int32_t codepage,
                        uint32_t flags)>
      CopyToBuffer;
};

// IID_DIGEST.
struct DigestMethods {
  ResultSlot<ResultCode(ObjectRef self)> DigestReset;
  ResultSlot<ResultCode(ObjectRef self, const void* buffer, uint32_t length)> DigestUpdate;
  ResultSlot<ResultCode(ObjectRef self, void* buffer, uint32_t size)> DigestFinal;
};

// IID_CODEC: transforms its whole input stream into its output stream.
struct CodecMethods {
  ResultSlot<ResultCode(ObjectRef self, uint64_t* count)> Process;
};

// IID_FILE_SYSTEM.
struct FileSystemMethods {
  ResultSlot<ResultCode(ObjectRef self, ObjectRef* out, ObjectRef name_text, uint32_t access_mode, uint32_t open_mode)>
      OpenByName;
  ResultSlot<ResultCode(ObjectRef self, ObjectRef* out)> Clone;
  ResultSlot<ResultCode(ObjectRef self, ObjectRef io)> BindToObject;
};

// IID_FS_SOURCE: hands out file systems that open the siblings of an I/O object.
struct FsSourceMethods {
  ResultSlot<ResultCode(ObjectRef self, ObjectRef* out, ObjectRef io)> GetFileSystem;
};

// IID_CHANGE_LIST: what a rebuild keeps, replaces and adds. A list of this
// interface is asked QUERY_ENTRY_KEPT and QUERY_ENTRY_UNCHANGED, and
// nothing else.
struct ChangeListMethods {
  uint32_t (*QueryEntry)(ObjectRef self, ObjectRef* object, uint32_t query, uint64_t entry_number);
  uint32_t (*FirstAdded)(ObjectRef self, uint32_t* iterator);
  uint32_t (*NextAdded)(ObjectRef self, uint32_t* iterator);
  ResultSlot<ResultCode(ObjectRef self, ObjectRef* object, uint32_t iterator)> GetAdded;
};

// IID_CHANGE_LIST_2: the four methods above in their slots, then what a
// list of the second version gives besides. An object is of this version
// when its interface id (GetInterfaceId) says so.
struct ChangeList2Methods {
  ChangeListMethods first;
  // The comment written in place of the stored one, of the archive, an old
  // entry or an added object (COMMENT_OF_*, with its number): *given 0
  // when there is none (the stored one stays; an added object has none),
  // else 1 and its *length bytes in `buffer`. ERR_BUFFER_TOO_SMALL, with
  // *length, when they do not fit `size`.
  ResultSlot<ResultCode(ObjectRef self, uint32_t subject, uint64_t number, void* buffer, uint32_t size,
                        uint32_t* given, uint32_t* length)>
      GetComment;
  // The password every re-encoded entry is garbled with, *length bytes
  // without a NUL; 0: none is garbled. ERR_BUFFER_TOO_SMALL, with *length,
  // when it does not fit `size`.
  ResultSlot<ResultCode(ObjectRef self, void* buffer, uint32_t size, uint32_t* length)> GetGarblePassword;
};
static_assert(std::is_standard_layout_v<ChangeList2Methods> && offsetof(ChangeList2Methods, first) == 0,
              "a second-version table is read as a first-version one");

// IID_MINIARCHIVER.
struct MiniArchiverMethods {
  ResultSlot<ResultCode(ObjectRef self)> Reset;
  ResultSlot<ResultCode(ObjectRef self, uint64_t* handle, uint64_t previous)> Next;
  ResultSlot<ResultCode(ObjectRef self, ObjectRef* result, uint64_t handle, ObjectRef requester)> OpenEntry;
  ResultSlot<ResultCode(ObjectRef self, uint64_t index)> SetCurrent;
  ResultSlot<ResultCode(ObjectRef self, ObjectRef change_list, ObjectRef destination)> Rebuild;
};

// ---- Registration ---------------------------------------------------------

// Hooks the host calls around an object's life. Slot order is fixed.
struct InternalHooks {
  ResultSlot<ResultCode(ObjectRef io)> Recognize;     // 1: does this I/O object hold our format?
  void (*reserved2)();                                // 2
  ResultSlot<ResultCode(ObjectRef self)> OnInit;      // 3: after creation, before properties are set
  ResultSlot<ResultCode(ObjectRef self)> OnInitDone;  // 4: CreateObjectDone
  void (*reserved5)();                                // 5
  ResultSlot<ResultCode(ObjectRef self)> OnPreClose;  // 6: before the children are closed
  ResultSlot<ResultCode(ObjectRef self)> OnClosed;    // 7: after the children are closed
  void (*reserved8)();
  void (*reserved9)();
  void (*reserved10)();
  void (*reserved11)();
  void (*reserved12)();
};
constexpr uint32_t kInternalHookSlots = 12;

// Property modes.
constexpr uint32_t PROP_MODE_GETTER = 0;             // value computed by the row's getter
constexpr uint32_t PROP_MODE_FIELD_READ = 1;         // instance field the host reads
constexpr uint32_t PROP_MODE_FIELD_WRITE = 2;        // instance field the host writes
constexpr uint32_t PROP_MODE_FIELD_READ_WRITE = 3;   // instance field the host reads and writes
constexpr uint32_t PROP_MODE_INLINE = 4;             // constant held in the value column
constexpr uint32_t PROP_MODE_STATIC = 0x0C;          // constant in static data, value column points to it
constexpr uint32_t PROP_MODE_STATIC_STRING = 0x44;   // value column points to a pointer to a string

using PropertyGetter = ResultCode (*)(ObjectRef self, uint32_t* length, PropId prop, void* buffer, uint32_t size);
using PropertySetter = ResultCode (*)(ObjectRef self, PropId prop, const void* buffer, uint32_t size);

// The value column: an address (static modes), an instance field offset
// (field modes) or the constant itself (inline mode).
union PropertyValue {
  const void* address;
  uintptr_t number;
};

struct PropertyRow {
  PropId id;
  PropertyValue value;
  uint32_t size;
  uint32_t mode;
  ResultSlot<std::remove_pointer_t<PropertyGetter>> getter;
  ResultSlot<std::remove_pointer_t<PropertySetter>> setter;
};

using RegisterInterfaceFn = ResultCode (*)(ObjectRef root, uint32_t iid, uint32_t pid, uint32_t subtype,
                                           uint32_t version, uint32_t vendor, const void* hooks, uint32_t hook_count,
                                           const void* methods, uint32_t method_count, const PropertyRow* properties,
                                           uint32_t property_count, uint32_t instance_size, uint32_t flags);

// Host functions are resolved into variables of this generic type and cast
// to their own type at the call.
using HostFunction = void (*)();

// One row of a plug-in's host function table; a row of zeros ends it.
struct ImportRow {
  HostFunction* variable;
  uint32_t selector;
  uint32_t id;
};

// IID_ROOT: the object a plug-in receives at load.
struct RootMethods {
  ResultSlot<std::remove_pointer_t<RegisterInterfaceFn>> RegisterInterface;
  ResultSlot<ResultCode(ObjectRef root, uint32_t reserved, const ImportRow* table, uint32_t flags)> ResolveImports;
  ResultSlot<ResultCode(ObjectRef root, HostFunction* variable, uint32_t selector, uint32_t id, uint32_t flags)>
      ResolveExport;
};

// Host function types. A time value is 8 bytes: a signed 64-bit count of
// microseconds since 1970-01-01 00:00 UTC; SplitTime gives local calendar
// fields.
using TraceFunction = ResultCode (*)(ObjectRef object, int32_t level, const char* format, va_list* args);
using CurrentTimeFunction = ResultCode (*)(void* time_value);  // 8 bytes
using SplitTimeFunction = ResultCode (*)(const void* time_value, int32_t* year, int32_t* month, int32_t* day,
                                         int32_t* hour, int32_t* minute, int32_t* second, void* reserved);

// The plug-in's entry point, the one symbol a plug-in library exports.
constexpr uint32_t PLUGIN_REASON_LOAD = 100;
using PluginEntryFn = bool (*)(ObjectRef root, uint32_t reason, ResultCode* result_out);
constexpr const char* kPluginEntrySymbol = "PluginEntry";

// ---- Call helpers -----------------------------------------------------------

namespace host {

inline const BlockIoMethods& Io(ObjectRef o) { return *static_cast<const BlockIoMethods*>(o->methods); }
inline const StreamMethods& Stream(ObjectRef o) { return *static_cast<const StreamMethods*>(o->methods); }
inline const MemoryMethods& Memory(ObjectRef o) { return *static_cast<const MemoryMethods*>(o->methods); }
inline const TextMethods& Text(ObjectRef o) { return *static_cast<const TextMethods*>(o->methods); }
inline const DigestMethods& Digest(ObjectRef o) { return *static_cast<const DigestMethods*>(o->methods); }
inline const CodecMethods& Codec(ObjectRef o) { return *static_cast<const CodecMethods*>(o->methods); }
inline const FileSystemMethods& FileSystem(ObjectRef o) {
  return *static_cast<const FileSystemMethods*>(o->methods);
}
inline const FsSourceMethods& FsSource(ObjectRef o) { return *static_cast<const FsSourceMethods*>(o->methods); }
inline const ChangeListMethods& ChangeList(ObjectRef o) {
  return *static_cast<const ChangeListMethods*>(o->methods);
}
inline const ChangeList2Methods& ChangeList2(ObjectRef o) {
  return *static_cast<const ChangeList2Methods*>(o->methods);
}
inline const MiniArchiverMethods& Archiver(ObjectRef o) {
  return *static_cast<const MiniArchiverMethods*>(o->methods);
}
inline const RangeCopyMethods& RangeCopy(ObjectRef o) {
  return *static_cast<const RangeCopyMethods*>(o->methods);
}
inline const RootMethods& Root(ObjectRef o) { return *static_cast<const RootMethods*>(o->methods); }

[[nodiscard]] inline ResultCode CreateObject(ObjectRef parent, ObjectRef* out, uint32_t iid, uint32_t pid) {
  return parent->system->CreateObject(parent, out, iid, pid, 0);
}
[[nodiscard]] inline ResultCode CreateObjectQuick(ObjectRef parent, ObjectRef* out, uint32_t iid, uint32_t pid) {
  return parent->system->CreateObjectQuick(parent, out, iid, pid, 0);
}
[[nodiscard]] inline ResultCode CreateObjectDone(ObjectRef o) { return o->system->CreateObjectDone(o); }
[[nodiscard]] inline ResultCode CloseObject(ObjectRef o) { return o->system->CloseObject(o); }
// Closes `o`, if any, and empties it, on a path that only cleans up: the
// object's use ends here whatever the close returns, and there is nothing
// to retry.
inline void CloseIfOpen(ObjectRef& o) {
  if (o != nullptr) IgnoreResult(CloseObject(o));
  o = nullptr;
}
inline ObjectRef FindAncestor(ObjectRef o, uint32_t iid) { return o->system->FindAncestor(o, iid); }
inline uint32_t GetPropDWord(ObjectRef o, PropId prop) { return o->system->GetPropDWord(o, prop); }
[[nodiscard]] inline ResultCode SetPropDWord(ObjectRef o, PropId prop, uint32_t value) {
  return o->system->SetPropDWord(o, prop, value);
}
[[nodiscard]] inline ResultCode SetPropQWord(ObjectRef o, PropId prop, uint64_t value) {
  return o->system->SetPropQWord(o, prop, static_cast<uint32_t>(value), static_cast<uint32_t>(value >> 32));
}
[[nodiscard]] inline ResultCode SetPropObject(ObjectRef o, PropId prop, ObjectRef value) {
  return o->system->SetPropObject(o, prop, value);
}
[[nodiscard]] inline ResultCode SetPropBuffer(ObjectRef o, PropId prop, const void* buffer, uint32_t size) {
  return o->system->SetPropBuffer(o, nullptr, prop, buffer, size);
}

}  // namespace host
