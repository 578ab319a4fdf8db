// Identifiers, result codes and property ids of the host object model.
// This header and host_objects.h are the whole contract between the plug-in
// and the runtime that hosts it; both sides include them, nothing else.
#pragma once

#include <cstdint>

using ResultCode = int32_t;
using PropId = uint32_t;

constexpr bool Failed(ResultCode r) { return r < 0; }

// Marks a result as deliberately not acted on; the call site says why.
// Every function that returns a ResultCode is [[nodiscard]].
constexpr void IgnoreResult(ResultCode r) { static_cast<void>(r); }

// Result codes. Negative values are errors, positive ones warnings.
[[nodiscard]] constexpr ResultCode MakeError(uint32_t code) { return static_cast<ResultCode>(code); }

constexpr ResultCode RESULT_OK = 0;
constexpr ResultCode ERR_UNSUPPORTED = MakeError(0x80000040u);
constexpr ResultCode ERR_NO_MEMORY = MakeError(0x80000041u);
constexpr ResultCode ERR_BUFFER_TOO_SMALL = MakeError(0x80000044u);
constexpr ResultCode ERR_BAD_PARAMETER = MakeError(0x80000046u);
constexpr ResultCode ERR_END_OF_DATA = MakeError(0x80000049u);
constexpr ResultCode ERR_BAD_VOLUME_NAME = MakeError(0x8000004Bu);
constexpr ResultCode ERR_END_OF_LIST = MakeError(0x80000056u);
constexpr ResultCode ERR_NOT_INITIALIZED = MakeError(0x800000C2u);
constexpr ResultCode ERR_NOT_FOUND = MakeError(0x800000C5u);
constexpr ResultCode ERR_NO_SOURCE = MakeError(0x800000C6u);
constexpr ResultCode ERR_CANCELLED = MakeError(0x800000C8u);
constexpr ResultCode ERR_CORRUPTED = MakeError(0x800000D8u);
constexpr ResultCode ERR_NOT_RECOGNIZED = MakeError(0x80000103u);
constexpr ResultCode ERR_PROPERTY_UNAVAILABLE = MakeError(0x80000180u);
constexpr ResultCode ERR_LIMIT_EXCEEDED = MakeError(0x80000058u);  // a table would pass its bound
constexpr ResultCode WARN_CORRUPTED = 216;

// Codes of the runtime's own services (not produced by the plug-in).
constexpr ResultCode WARN_SHORT_READ = 65;  // a read delivered some, not all, bytes
constexpr ResultCode ERR_IO = MakeError(0x80000047u);          // the operating system refused
constexpr ResultCode ERR_ACCESS_DENIED = MakeError(0x80000048u);
constexpr ResultCode ERR_NOT_HANDLED = MakeError(0x80000057u);  // no message receiver
constexpr ResultCode ERR_CRC_MISMATCH = MakeError(0x800000D9u);
constexpr ResultCode ERR_TOO_MANY_OPEN_FILES = MakeError(0x8000004Au);  // the process's descriptor limit
// A file read as new content of an archive changed under the reader: its
// bytes, its size, or the file itself (another put at its path).
constexpr ResultCode ERR_CONTENT_CHANGED = MakeError(0x800000DAu);
constexpr ResultCode ERR_CONTENT_GREW = MakeError(0x800000DBu);
constexpr ResultCode ERR_CONTENT_SHRANK = MakeError(0x800000DCu);
constexpr ResultCode ERR_CONTENT_REPLACED = MakeError(0x800000DDu);

// Interface ids.
constexpr uint32_t IID_ROOT = 1;
constexpr uint32_t IID_BLOCK_IO = 10;
constexpr uint32_t IID_FILE_SYSTEM = 11;
constexpr uint32_t IID_FS_SOURCE = 12;
constexpr uint32_t IID_TEXT = 100;
constexpr uint32_t IID_CHANGE_LIST = 200;
constexpr uint32_t IID_REQUESTER = 201;
constexpr uint32_t IID_CHANGE_LIST_2 = 202;  // IID_CHANGE_LIST and comments, a password
constexpr uint32_t IID_CODEC = 49001;
constexpr uint32_t IID_DIGEST = 58004;
constexpr uint32_t IID_MINIARCHIVER = 63003;
constexpr uint32_t IID_STREAM = 64000;
constexpr uint32_t IID_MEMORY = 64003;
// Optional: a host may not offer it (see RangeCopyMethods).
constexpr uint32_t IID_RANGE_COPY = 64006;

// Plug-in ids.
constexpr uint32_t PID_DEFAULT = 0;
constexpr uint32_t PID_NATIVE_FS = 3;
constexpr uint32_t PID_NATIVE_FILE_IO = 4;
constexpr uint32_t PID_MEMORY_IO = 5;
constexpr uint32_t PID_GARBLE_IO = 46004;
constexpr uint32_t PID_DIGEST = 58004;
constexpr uint32_t PID_CRC32_DIGEST = 58005;
constexpr uint32_t PID_TEMP_IO = 63002;
constexpr uint32_t PID_WINDOW_IO = 63004;
constexpr uint32_t PID_STORE_DECODER = 63031;
constexpr uint32_t PID_STORE_ENCODER = 63033;
constexpr uint32_t PID_ARJ = 63035;
constexpr uint32_t PID_ARJ_DECODER = 63036;
constexpr uint32_t PID_ARJ_ENCODER = 63037;

// Property ids. Bits 20..27 of an id give the kind of its value
// (see PropKindOf); the runtime serves every property by that kind.
constexpr PropId PROP_INTERFACE_VERSION = 0x21A00082u;
constexpr PropId PROP_INTERFACE_COMMENT = 0x20900083u;
constexpr PropId PROP_OBJECT_NAME = 0x20900040u;
constexpr PropId PROP_OBJECT_NAME_SIZED = 0x20900044u;
constexpr PropId PROP_OBJECT_PATH = 0x20900041u;
constexpr PropId PROP_RESTRICTED = 0x20601010u;
constexpr PropId PROP_RESERVED_WORD = 0x21600048u;
constexpr PropId PROP_CAPABILITIES = 0x20400052u;
constexpr PropId PROP_OBJECT_SIZE = 0x20500045u;
constexpr PropId PROP_HOST_BYTE = 0x20201004u;
constexpr PropId PROP_HOST_WORD = 0x20301002u;
constexpr PropId PROP_OPEN_MODE = 0x2040004Au;
constexpr PropId PROP_ACCESS_MODE = 0x2040004Eu;
constexpr PropId PROP_ARCHIVE_DIGEST = 0x20500055u;
constexpr PropId PROP_ENTRY_SELECTOR = 0x20501012u;
constexpr PropId PROP_SCAN_ALL_VOLUMES = 0x20601013u;
constexpr PropId PROP_VOLUME_NAME = 0x20901014u;
constexpr PropId PROP_PACKED_SIZE = 0x20400050u;
constexpr PropId PROP_OBJECT_CRC = 0x23000046u;
constexpr PropId PROP_ENTRY_METHOD = 0x20401015u;
constexpr PropId PROP_ENTRY_ENCRYPTED = 0x20601016u;
constexpr PropId PROP_NAME_CODE_PAGE = 0x21B00040u;
constexpr PropId PROP_NAME_SIZED_CODE_PAGE = 0x21B00044u;
constexpr PropId PROP_PATH_CODE_PAGE = 0x21B00041u;
constexpr PropId PROP_IO_ORIGIN = 0x215000C0u;
constexpr PropId PROP_WINDOW_OFFSET = 0x40502001u;
constexpr PropId PROP_WINDOW_SIZE = 0x40502002u;
constexpr PropId PROP_WINDOW_BASE = 0x43202003u;
constexpr PropId PROP_GARBLE_BASE = 0x33202001u;
constexpr PropId PROP_GARBLE_KEY = 0x33002002u;
constexpr PropId PROP_GARBLE_KEY_LENGTH = 0x30402003u;
constexpr PropId PROP_CODEC_METHOD = 0x30402000u;
constexpr PropId PROP_CODEC_UNPACKED_SIZE = 0x20501002u;
constexpr PropId PROP_CODEC_INPUT = 0x23201003u;
constexpr PropId PROP_CODEC_OUTPUT = 0x23201004u;
constexpr PropId PROP_MODIFIED_TIME = 0x20501030u;  // Unix seconds, for new content
constexpr PropId PROP_FILE_MODE = 0x20401031u;      // UNIX mode bits (st_mode), for new content
// On new content that is a UNIX link or special file: the body of the 'U'
// extended header arj -a1 writes for it (after its id byte).
constexpr PropId PROP_UNIX_SPECIAL = 0x23001032u;
// PROP_ENTRY_METHOD on new content: the ARJ method it is to be encoded with.
// Bounds the host sets for every archive, read from the root; 0 (or a host
// without them) leaves the plug-in's own bounds, and a host can only lower
// those.
constexpr PropId PROP_LIMIT_MAX_ENTRIES = 0x20402060u;
constexpr PropId PROP_LIMIT_MAX_VOLUMES = 0x20402061u;
// Constants a MiniArchiver serves whose use is the host's alone: named by
// their kind and low bits, not by a meaning the plug-in does not know.
constexpr PropId PROP_RESERVED_FLAG_1000 = 0x20601000u;
constexpr PropId PROP_RESERVED_FLAG_1001 = 0x20601001u;
constexpr PropId PROP_RESERVED_FLAG_1011 = 0x20601011u;
constexpr PropId PROP_RESERVED_DWORD_1000 = 0x20401000u;
constexpr PropId PROP_RESERVED_DWORD_0049 = 0x20400049u;  // listed in the manifest only
constexpr PropId PROP_RESERVED_VALUE_0049 = 0x21700049u;  // served by the property table only

// Bits of PROP_ACCESS_MODE and PROP_OPEN_MODE of an I/O object.
constexpr uint32_t ACCESS_READ = 1;
constexpr uint32_t ACCESS_WRITE = 2;
constexpr uint32_t OPEN_EXISTING = 1;  // open a file that exists
constexpr uint32_t OPEN_CREATE = 2;    // create a file that does not
constexpr uint32_t OPEN_TRUNCATE = 4;  // empty it (with ACCESS_WRITE)

// Bits of PROP_CAPABILITIES. What each lets the host do is the host's to
// know; they are named by their place.
constexpr uint32_t CAPABILITY_BIT_0 = 1u << 0;
constexpr uint32_t CAPABILITY_BIT_1 = 1u << 1;
constexpr uint32_t CAPABILITY_BIT_2 = 1u << 2;
constexpr uint32_t CAPABILITY_BIT_3 = 1u << 3;
constexpr uint32_t CAPABILITY_BIT_4 = 1u << 4;
constexpr uint32_t CAPABILITY_BIT_7 = 1u << 7;
constexpr uint32_t CAPABILITY_BIT_10 = 1u << 10;

// Kinds of property values, taken from bits 20..27 of the id.
enum class PropKind : uint8_t { Byte, Word, DWord, QWord, String, Buffer, Object, Unknown };

constexpr PropKind PropKindOf(PropId id) {
  switch ((id >> 20) & 0xFFu) {
    case 0x02: return PropKind::Byte;
    case 0x03: return PropKind::Word;
    case 0x04: case 0x06: case 0x15: case 0x16: case 0x17: case 0x1A: case 0x1B:
      return PropKind::DWord;
    case 0x05: return PropKind::QWord;
    case 0x09: return PropKind::String;
    case 0x30: return PropKind::Buffer;
    case 0x32: return PropKind::Object;
    default: return PropKind::Unknown;
  }
}

// Code pages the plug-in passes for strings.
constexpr int32_t CP_ENTRY_NAMES = -11;  // bytes as stored in the archive
constexpr int32_t CP_HOST_PATHS = -12;   // the host's own file names (UTF-8 here)
constexpr int32_t CP_UTF8 = 65001;

// I/O origins reported through PROP_IO_ORIGIN.
constexpr uint32_t IO_ORIGIN_NATIVE_FILE = 3;

// Messages.
constexpr uint32_t MSG_CLASS_ARCHIVE = 0x1000u;
constexpr uint32_t MSG_VOLUME_DIGEST = 0x1000u;
constexpr uint32_t MSG_ARCHIVE_INCOMPLETE = 0x1001u;
// A volume of the set that is there but cannot be read, which ends the set:
// the buffer holds the cause (a ResultCode, 4 bytes little-endian), then
// the volume's name.
constexpr uint32_t MSG_VOLUME_UNREADABLE = 0x1002u;
// A rebuild copied a stored entry whose data fails its CRC; the buffer
// holds the entry's number (8 bytes, little-endian).
constexpr uint32_t MSG_DAMAGED_ENTRY_COPIED = 0x1003u;
// A local header the scan took into the entry table, sent as it is read,
// with the volume's I/O as context: the buffer holds its row and its bytes
// (plugin/format/header_notice.h). A notice: the table is the same whether
// the host takes it or not.
constexpr uint32_t MSG_ENTRY_HEADER = 0x1004u;
constexpr uint32_t MSG_CLASS_PASSWORD = 0x52E986B3u;
constexpr uint32_t MSG_PASSWORD_REQUEST = 3;

// Host functions resolved by id.
constexpr uint32_t FN_TRACE = 0x5EC5256Cu;
constexpr uint32_t FN_CURRENT_TIME = 0xA941EA2Fu;
constexpr uint32_t FN_SPLIT_TIME = 0x150920E3u;

// Change list query codes.
constexpr uint32_t QUERY_ENTRY_UNCHANGED = 2;
constexpr uint32_t QUERY_ENTRY_KEPT = 3;
// What IID_CHANGE_LIST_2's GetComment is asked about, and the number
// that goes with it.
constexpr uint32_t COMMENT_OF_ARCHIVE = 0;  // number 0
constexpr uint32_t COMMENT_OF_ENTRY = 1;    // an old entry's number, 1-based
constexpr uint32_t COMMENT_OF_ADDED = 2;    // an added object's iterator
