#include "launcher/progress_queue.h"

#include "platform/launcher_steps.h"
#include "platform/memory.h"
#include "platform/thread.h"

namespace sfx::launcher {
namespace {

struct Node {
  Node* next;
  char* text;
};

// `queueMutex` guards head, tail and the nodes. It is held only for the few
// instructions of a push or a pop, never across another platform call.
Node* head = nullptr;
Node* tail = nullptr;
platform::MutexHandle queueMutex = nullptr;

}  // namespace

bool OpenProgressQueue() {
  head = nullptr;
  tail = nullptr;
  queueMutex = platform::MakeLauncherMutex();
  return queueMutex != nullptr;
}

void CloseProgressQueue() {
  if (queueMutex != nullptr) platform::CloseMutex(queueMutex);
  queueMutex = nullptr;
}

int PushProgressText(char* text) {
  if (queueMutex == nullptr) {
    platform::GlobalRelease(text);
    return 0;
  }
  auto* node = static_cast<Node*>(platform::GlobalAllocate(sizeof(Node)));
  if (node == nullptr) {
    platform::GlobalRelease(text);
    return 0;
  }
  platform::LockMutex(queueMutex);
  node->next = nullptr;
  node->text = text;
  if (tail != nullptr) {
    tail->next = node;
  } else {
    head = node;
  }
  tail = node;
  platform::UnlockMutex(queueMutex);
  return 1;
}

char* PopProgressText() {
  if (queueMutex == nullptr) return nullptr;
  platform::LockMutex(queueMutex);
  Node* node = head;
  if (node != nullptr) {
    head = node->next;
    if (head == nullptr) tail = nullptr;
  }
  platform::UnlockMutex(queueMutex);
  if (node == nullptr) return nullptr;
  char* text = node->text;
  platform::GlobalRelease(node);
  return text;
}

}  // namespace sfx::launcher
