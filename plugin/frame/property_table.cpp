#include <cstddef>

#include "plugin/access/entry_properties.h"
#include "plugin/frame/constant_properties.h"
#include "plugin/state/archiver_state.h"
#include "plugin/frame/registration.h"

namespace {

constexpr PropertyRow Static(const ConstantDWord& c) {
  return {c.id, {.address = &c.value}, sizeof c.value, PROP_MODE_STATIC, nullptr, nullptr};
}
constexpr PropertyRow Getter(PropId id) {
  return {id, {.number = 0}, 0, PROP_MODE_GETTER, GetEntryProperty, nullptr};
}
constexpr PropertyRow Inline(PropId id, uint32_t value) {
  return {id, {.number = value}, sizeof(uint32_t), PROP_MODE_INLINE, nullptr, nullptr};
}
constexpr PropertyRow Inline(const ConstantDWord& c) { return Inline(c.id, c.value); }
constexpr PropertyRow Field(PropId id, size_t offset, uint32_t size, uint32_t mode) {
  return {id, {.number = offset}, size, mode, nullptr, nullptr};
}

#define STATE_FIELD(id, field, mode) \
  Field(id, offsetof(ArchiverState, field), sizeof(ArchiverState::field), mode)

}  // namespace

const PropertyRow kPropertyTable[kPropertyRows] = {
    Static(kInterfaceVersion),
    {PROP_INTERFACE_COMMENT, {.address = &kInterfaceComment}, sizeof(kInterfaceComment), PROP_MODE_STATIC_STRING,
     nullptr, nullptr},
    Static(kReservedFlag1001),
    Getter(PROP_OBJECT_NAME),
    Getter(PROP_OBJECT_NAME_SIZED),
    Getter(PROP_OBJECT_PATH),
    Static(kReservedFlag1000),
    Static(kReservedDWord1000),
    STATE_FIELD(PROP_RESTRICTED, restricted, PROP_MODE_FIELD_READ),
    STATE_FIELD(PROP_RESERVED_WORD, reserved_property_word, PROP_MODE_FIELD_READ),
    Static(kReservedFlag1011),
    STATE_FIELD(PROP_CAPABILITIES, capabilities, PROP_MODE_FIELD_READ),
    Inline(kReservedValue0049),
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
