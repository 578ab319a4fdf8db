#include "cli/input/limit_options.h"

#include <cstdint>
#include <limits>

namespace cli {

bool ParseSize(const std::string& text, uint64_t max, uint64_t* out) {
  uint64_t value = 0;
  size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (value > (max - digit) / 10) return false;
    value = value * 10 + digit;
  }
  if (i == 0) return false;
  int shift = 0;
  if (i + 1 == text.size()) {
    switch (text[i]) {
      case 'K': case 'k': shift = 10; break;
      case 'M': case 'm': shift = 20; break;
      case 'G': case 'g': shift = 30; break;
      default: return false;
    }
  } else if (i != text.size()) {
    return false;
  }
  if (value > (max >> shift)) return false;
  *out = value << shift;
  return true;
}

namespace {

struct SizeOption {
  const char* name;
  const char* value_name;
  const char* help;
  uint64_t max;
  uint64_t arjhost::Limits::*field64;
  uint32_t arjhost::Limits::*field32;
};

constexpr uint64_t k32 = std::numeric_limits<uint32_t>::max();
constexpr uint64_t k64 = std::numeric_limits<uint64_t>::max();

const SizeOption kSizeOptions[] = {
    {"max-entries", "N", "refuse archives of more than N entries (default 4000000)", k32, nullptr,
     &arjhost::Limits::max_entries},
    {"max-volumes", "N", "refuse volume sets of more than N volumes (default 100000)", k32, nullptr,
     &arjhost::Limits::max_volumes},
    {"max-memory", "SIZE", "memory for the tables of an open archive (default 2G)", k64,
     &arjhost::Limits::archive_memory, nullptr},
    {"max-extract-memory", "SIZE", "memory per extraction; more goes to a temporary file (default 8M)", k64,
     &arjhost::Limits::extract_memory, nullptr},
    {"max-size", "SIZE", "refuse to unpack entries larger than SIZE (default: no limit)", k64,
     &arjhost::Limits::max_entry_size, nullptr},
    {"max-ratio", "N",
     "refuse entries over 256M unpacking to over N times their packed size (default 1000)",
     k32, nullptr, &arjhost::Limits::max_ratio},
    {"max-total", "SIZE", "refuse to unpack more than SIZE in all, over every entry (default 64G)", k64,
     &arjhost::Limits::max_total, nullptr},
};

}  // namespace

std::vector<OptionSpec> LimitOptions() {
  std::vector<OptionSpec> list;
  for (const SizeOption& o : kSizeOptions) list.push_back({o.name, 0, true, o.value_name, o.help});
  return list;
}

bool ApplyLimitOptions(const Args& args, arjhost::Host& host, std::string* error) {
  arjhost::Limits limits = host.limits();
  for (const SizeOption& o : kSizeOptions) {
    if (!args.Has(o.name)) continue;
    uint64_t value = 0;
    if (!ParseSize(args.Value(o.name), o.max, &value)) {
      *error = std::string("--") + o.name + " takes a number" + (o.field64 != nullptr ? " (K, M or G allowed)" : "") +
               ", not \"" + args.Value(o.name) + "\"";
      return false;
    }
    if (o.field64 != nullptr) limits.*o.field64 = value;
    else limits.*o.field32 = static_cast<uint32_t>(value);
  }
  host.SetLimits(limits);
  return true;
}

}  // namespace cli
