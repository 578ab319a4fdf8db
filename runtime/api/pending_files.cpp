#include "runtime/api/pending_files.h"

#include "runtime/services/pending_files.h"

namespace arjhost {

sigset_t EndingSignals() { return arjrt::EndingSignals(); }
int AddPendingFile(int dir_fd, const char* name) { return arjrt::AddPendingFile(dir_fd, name); }
void ForgetPendingFile(int slot) { arjrt::ForgetPendingFile(slot); }
void RemovePendingFiles() { arjrt::RemovePendingFiles(); }
bool ChangeMade() { return arjrt::ChangeMade(); }
std::thread StartWorkerThread(std::function<void()> work) { return arjrt::StartWorkerThread(std::move(work)); }

}  // namespace arjhost
