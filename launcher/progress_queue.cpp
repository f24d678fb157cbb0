#include "launcher/progress_queue.h"

#include "services/core/memory_service.h"
#include "services/core/sync_service.h"

namespace sfx::launcher {
namespace {

struct Node {
  Node* next;
  char* text;
};

// `queueLock`, a semaphore of one, guards head, tail and the nodes. It is
// held only for the few instructions of a push or a pop, never across another
// call.
Node* head = nullptr;
Node* tail = nullptr;
Semaphore* queueLock = nullptr;

void FreeBlock(void* block) {
  (void)Memory()->Free(block);  // a block this queue allocated: freeing it cannot fail
}

}  // namespace

bool OpenProgressQueue() {
  head = nullptr;
  tail = nullptr;
  queueLock = nullptr;
  if (Failed(Sync()->MakeSemaphore(1, 1, &queueLock))) {
    queueLock = nullptr;
    return false;
  }
  return true;
}

void CloseProgressQueue() {
  if (queueLock != nullptr) (void)queueLock->Close();  // nothing waits on it any more
  queueLock = nullptr;
}

int PushProgressText(char* text) {
  if (queueLock == nullptr) {
    FreeBlock(text);
    return 0;
  }
  void* block = nullptr;
  if (Failed(Memory()->Allocate(sizeof(Node), &block))) {
    FreeBlock(text);
    return 0;
  }
  auto* node = static_cast<Node*>(block);
  if (Failed(queueLock->WaitSemaphore(kInfiniteWait))) {
    FreeBlock(node);
    FreeBlock(text);
    return 0;
  }
  node->next = nullptr;
  node->text = text;
  if (tail != nullptr) {
    tail->next = node;
  } else {
    head = node;
  }
  tail = node;
  (void)queueLock->PostSemaphore();  // held by this thread: the count is below its maximum
  return 1;
}

char* PopProgressText() {
  if (queueLock == nullptr || Failed(queueLock->WaitSemaphore(kInfiniteWait))) return nullptr;
  Node* node = head;
  if (node != nullptr) {
    head = node->next;
    if (head == nullptr) tail = nullptr;
  }
  (void)queueLock->PostSemaphore();  // held by this thread: the count is below its maximum
  if (node == nullptr) return nullptr;
  char* text = node->text;
  FreeBlock(node);
  return text;
}

}  // namespace sfx::launcher
