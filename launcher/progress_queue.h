// The queue of progress texts between the extraction worker (which pushes)
// and the dialog (which pops on its timer). Texts are zero-terminated strings
// in MemoryService blocks; pushing gives a text away, popping takes it over
// (free it with Memory()->Free).
#pragma once

namespace sfx::launcher {

// Makes the queue usable and empty. False when its lock cannot be made.
bool OpenProgressQueue();
// Closes the lock: from then on pushes free their text and pops give null.
// Only once the worker pushes no more.
void CloseProgressQueue();

// 1 when queued; 0 when not, and then the text has been freed.
int PushProgressText(char* text);
// The oldest text, or null when the queue is empty or unusable.
char* PopProgressText();

}  // namespace sfx::launcher
