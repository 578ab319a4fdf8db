#include "runtime/services/change_list.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/services/service_support.h"

namespace arjrt {
namespace {

constexpr uint32_t kChangeListMethodCount = 6;
constexpr uint32_t kYes = 1;
constexpr uint32_t kNo = 0;
constexpr uint32_t kNoMore = 1;

class ChangeList {
 public:
  explicit ChangeList(ObjectRef self) : self_(self) {}

  [[nodiscard]] ResultCode Drop(uint64_t number) {
    if (number == 0) return ERR_BAD_PARAMETER;
    return Guard([&] { old_[number] = Fate{true, nullptr}; });
  }

  [[nodiscard]] ResultCode Replace(uint64_t number, ContentOpener content) {
    if (number == 0 || !content) return ERR_BAD_PARAMETER;
    return Guard([&] { old_[number] = Fate{false, std::move(content)}; });
  }

  [[nodiscard]] ResultCode Add(ContentOpener content, std::optional<std::string> comment) {
    if (!content) return ERR_BAD_PARAMETER;
    return Guard([&] { added_.push_back({std::move(content), nullptr, std::move(comment)}); });
  }

  [[nodiscard]] ResultCode SetComment(uint64_t number, std::string comment) {
    return Guard([&] { comments_[number] = std::move(comment); });
  }

  [[nodiscard]] ResultCode SetPassword(std::string password) {
    return Guard([&] { password_ = std::move(password); });
  }

  uint32_t QueryEntry(ObjectRef* object, uint32_t query, uint64_t number) {
    auto found = old_.find(number);
    const Fate* fate = found != old_.end() ? &found->second : nullptr;
    switch (query) {
      case QUERY_ENTRY_KEPT:
        return fate != nullptr && fate->dropped ? kNo : kYes;
      case QUERY_ENTRY_UNCHANGED:
        if (fate == nullptr || fate->dropped) return kYes;
        // The plug-in owns what it gets here; a failed opener leaves it
        // nothing, which it takes as a fault of the list.
        if (object != nullptr) *object = Open(fate->replacement);
        return kNo;
      default:
        return kNo;
    }
  }

  [[nodiscard]] ResultCode GetComment(uint32_t subject, uint64_t number, void* buffer, uint32_t size,
                                      uint32_t* given, uint32_t* length) {
    if (given == nullptr || length == nullptr) return ERR_BAD_PARAMETER;
    const std::string* comment = nullptr;
    if (subject == COMMENT_OF_ADDED) {
      if (number < added_.size() && added_[number].comment) comment = &*added_[number].comment;
    } else if (subject == COMMENT_OF_ARCHIVE || (subject == COMMENT_OF_ENTRY && number != 0)) {
      auto found = comments_.find(subject == COMMENT_OF_ARCHIVE ? 0 : number);
      if (found != comments_.end()) comment = &found->second;
    }
    *given = comment != nullptr ? kYes : kNo;
    if (comment == nullptr) {
      *length = 0;
      return RESULT_OK;
    }
    return PropertyOut(comment->data(), static_cast<uint32_t>(comment->size()), buffer, size, length);
  }

  [[nodiscard]] ResultCode GetGarblePassword(void* buffer, uint32_t size, uint32_t* length) {
    if (length == nullptr) return ERR_BAD_PARAMETER;
    return PropertyOut(password_.data(), static_cast<uint32_t>(password_.size()), buffer, size, length);
  }

  uint32_t FirstAdded(uint32_t* iterator) {
    if (iterator == nullptr || added_.empty()) return kNoMore;
    *iterator = 0;
    return RESULT_OK;
  }

  uint32_t NextAdded(uint32_t* iterator) {
    if (iterator == nullptr || *iterator >= added_.size()) return kNoMore;
    CloseAdded(*iterator);  // the plug-in is done with it
    if (*iterator + 1 >= added_.size()) return kNoMore;
    ++*iterator;
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode GetAdded(ObjectRef* object, uint32_t iterator) {
    if (object == nullptr) return ERR_BAD_PARAMETER;
    *object = nullptr;
    if (iterator >= added_.size()) return ERR_BAD_PARAMETER;
    Added& a = added_[iterator];
    if (a.open == nullptr) a.open = Open(a.content);
    *object = a.open;
    return a.open != nullptr ? RESULT_OK : open_failure_;
  }

  [[nodiscard]] ResultCode open_failure() const { return open_failure_; }

 private:
  struct Fate {
    bool dropped;
    ContentOpener replacement;
  };
  struct Added {
    ContentOpener content;
    ObjectRef open;
    std::optional<std::string> comment;
  };

  template <class F>
  [[nodiscard]] static ResultCode Guard(F&& f) {
    try {
      f();
    } catch (const std::bad_alloc&) {
      return ERR_NO_MEMORY;
    }
    return RESULT_OK;
  }

  ObjectRef Open(const ContentOpener& content) {
    ObjectRef out = nullptr;
    ResultCode r = content(self_, &out);
    if (Failed(r) || out == nullptr) {
      host::CloseIfOpen(out);
      if (open_failure_ == RESULT_OK) open_failure_ = Failed(r) ? r : ERR_NO_SOURCE;
      return nullptr;
    }
    return out;
  }

  void CloseAdded(uint32_t index) { host::CloseIfOpen(added_[index].open); }

  ObjectRef self_;
  std::map<uint64_t, Fate> old_;
  std::vector<Added> added_;
  std::map<uint64_t, std::string> comments_;  // by entry number; 0: the archive's
  std::string password_;                      // of the entries the rebuild encodes; empty: none
  ResultCode open_failure_ = RESULT_OK;
};

ChangeList& Of(ObjectRef self) { return ImplOf<ChangeList>(self); }

uint32_t QueryEntry(ObjectRef self, ObjectRef* object, uint32_t query, uint64_t number) {
  return Of(self).QueryEntry(object, query, number);
}
uint32_t FirstAdded(ObjectRef self, uint32_t* iterator) { return Of(self).FirstAdded(iterator); }
uint32_t NextAdded(ObjectRef self, uint32_t* iterator) { return Of(self).NextAdded(iterator); }
[[nodiscard]] ResultCode GetAdded(ObjectRef self, ObjectRef* object, uint32_t iterator) {
  return Of(self).GetAdded(object, iterator);
}
[[nodiscard]] ResultCode GetComment(ObjectRef self, uint32_t subject, uint64_t number, void* buffer, uint32_t size,
                                    uint32_t* given, uint32_t* length) {
  return Of(self).GetComment(subject, number, buffer, size, given, length);
}
[[nodiscard]] ResultCode GetGarblePassword(ObjectRef self, void* buffer, uint32_t size, uint32_t* length) {
  return Of(self).GetGarblePassword(buffer, size, length);
}

const ChangeList2Methods kMethods = {{QueryEntry, FirstAdded, NextAdded, GetAdded}, GetComment, GetGarblePassword};
constexpr InternalHooks kHooks = ServiceHooks<ChangeList, false>();

bool IsChangeList(ObjectRef list) {
  return list != nullptr && list->system->GetInterfaceId(list) == IID_CHANGE_LIST_2 && list->methods == &kMethods;
}

}  // namespace

ResultCode ChangeListDrop(ObjectRef list, uint64_t entry_number) {
  return IsChangeList(list) ? Of(list).Drop(entry_number) : ERR_BAD_PARAMETER;
}
ResultCode ChangeListReplace(ObjectRef list, uint64_t entry_number, ContentOpener content) {
  return IsChangeList(list) ? Of(list).Replace(entry_number, std::move(content)) : ERR_BAD_PARAMETER;
}
ResultCode ChangeListAdd(ObjectRef list, ContentOpener content, std::optional<std::string> comment) {
  return IsChangeList(list) ? Of(list).Add(std::move(content), std::move(comment)) : ERR_BAD_PARAMETER;
}
ResultCode ChangeListComment(ObjectRef list, uint64_t number, std::string comment) {
  return IsChangeList(list) ? Of(list).SetComment(number, std::move(comment)) : ERR_BAD_PARAMETER;
}
ResultCode ChangeListGarblePassword(ObjectRef list, std::string password) {
  return IsChangeList(list) ? Of(list).SetPassword(std::move(password)) : ERR_BAD_PARAMETER;
}
ResultCode ChangeListOpenFailure(ObjectRef list) {
  return IsChangeList(list) ? Of(list).open_failure() : ERR_BAD_PARAMETER;
}

ResultCode RegisterChangeListService(ObjectRef root) {
  return RegisterService(root, IID_CHANGE_LIST_2, PID_CHANGE_LIST, kHooks, &kMethods, kChangeListMethodCount, nullptr,
                         0, sizeof(ServiceRecord<ChangeList>));
}

}  // namespace arjrt
