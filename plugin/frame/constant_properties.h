// The MiniArchiver's constant properties, one source for the property table
// that serves them and the manifest that lists them.
#pragma once

#include <cstdint>

#include "plugin/host/host_types.h"

struct ConstantDWord {
  PropId id;
  uint32_t value;
};

inline constexpr ConstantDWord kInterfaceVersion{PROP_INTERFACE_VERSION, 1};
inline constexpr char kInterfaceCommentText[] = "ARJ";
inline constexpr const char* kInterfaceComment = kInterfaceCommentText;
inline constexpr ConstantDWord kReservedFlag1000{PROP_RESERVED_FLAG_1000, 0};
inline constexpr ConstantDWord kReservedFlag1001{PROP_RESERVED_FLAG_1001, 0};
inline constexpr ConstantDWord kReservedFlag1011{PROP_RESERVED_FLAG_1011, 0};
inline constexpr ConstantDWord kReservedDWord1000{PROP_RESERVED_DWORD_1000, 512};
// The manifest lists the one with 0 while the table serves the other with 1.
inline constexpr ConstantDWord kReservedDWord0049{PROP_RESERVED_DWORD_0049, 0};
inline constexpr ConstantDWord kReservedValue0049{PROP_RESERVED_VALUE_0049, 1};
