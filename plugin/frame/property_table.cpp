#include <cstddef>

#include "plugin/access/entry_properties.h"
#include "plugin/state/archiver_state.h"
#include "plugin/frame/registration.h"

namespace {

const uint32_t kInterfaceVersion = 1;
const char* const kInterfaceComment = "ARJ";
const uint32_t kFalse = 0;
const uint32_t kDefaultBlockSize = 512;

constexpr PropertyRow Static(PropId id, const uint32_t* value) {
  return {id, {.address = value}, sizeof(uint32_t), PROP_MODE_STATIC, nullptr, nullptr};
}
constexpr PropertyRow Getter(PropId id) {
  return {id, {.number = 0}, 0, PROP_MODE_GETTER, GetEntryProperty, nullptr};
}
constexpr PropertyRow Inline(PropId id, uint32_t value) {
  return {id, {.number = value}, sizeof(uint32_t), PROP_MODE_INLINE, nullptr, nullptr};
}
constexpr PropertyRow Field(PropId id, size_t offset, uint32_t size, uint32_t mode) {
  return {id, {.number = offset}, size, mode, nullptr, nullptr};
}

#define STATE_FIELD(id, field, mode) \
  Field(id, offsetof(ArchiverState, field), sizeof(ArchiverState::field), mode)

}  // namespace

const PropertyRow kPropertyTable[kPropertyRows] = {
    Static(PROP_INTERFACE_VERSION, &kInterfaceVersion),
    {PROP_INTERFACE_COMMENT, {.address = &kInterfaceComment}, sizeof(kInterfaceComment), PROP_MODE_STATIC_STRING,
     nullptr, nullptr},
    Static(0x20601001u, &kFalse),
    Getter(PROP_OBJECT_NAME),
    Getter(PROP_OBJECT_NAME_SIZED),
    Getter(PROP_OBJECT_PATH),
    Static(0x20601000u, &kFalse),
    Static(0x20401000u, &kDefaultBlockSize),
    STATE_FIELD(PROP_RESTRICTED, restricted, PROP_MODE_FIELD_READ),
    STATE_FIELD(PROP_RESERVED_WORD, reserved_property_word, PROP_MODE_FIELD_READ),
    Static(0x20601011u, &kFalse),
    STATE_FIELD(PROP_CAPABILITIES, capabilities, PROP_MODE_FIELD_READ),
    Inline(0x21700049u, 1),
    Getter(PROP_OBJECT_SIZE),
    STATE_FIELD(PROP_HOST_BYTE, host_byte, PROP_MODE_FIELD_READ_WRITE),
    STATE_FIELD(PROP_HOST_WORD, host_word, PROP_MODE_FIELD_READ_WRITE),
    STATE_FIELD(PROP_OPEN_MODE, open_mode, PROP_MODE_FIELD_READ_WRITE),
    STATE_FIELD(PROP_ACCESS_MODE, access_mode, PROP_MODE_FIELD_READ_WRITE),
    Getter(PROP_ARCHIVE_DIGEST),
    STATE_FIELD(PROP_ENTRY_SELECTOR, entry_selector, PROP_MODE_FIELD_WRITE),
    STATE_FIELD(PROP_SCAN_ALL_VOLUMES, scan_all_volumes, PROP_MODE_FIELD_READ_WRITE),
    Getter(PROP_VOLUME_NAME),
    Getter(PROP_PACKED_SIZE),
    Getter(PROP_OBJECT_CRC),
    Getter(PROP_ENTRY_METHOD),
    Getter(PROP_ENTRY_ENCRYPTED),
    Inline(PROP_NAME_CODE_PAGE, static_cast<uint32_t>(CP_ENTRY_NAMES)),
    Inline(PROP_NAME_SIZED_CODE_PAGE, static_cast<uint32_t>(CP_ENTRY_NAMES)),
    Inline(PROP_PATH_CODE_PAGE, static_cast<uint32_t>(CP_ENTRY_NAMES)),
};
