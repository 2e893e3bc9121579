#pragma once
// How the program's memory behaves with pictures of many megabytes.

namespace quillane {

// Makes large buffers (decoded pictures, file snapshots) come straight from the system and go
// back to it when freed, instead of staying in the allocator's heap after a big picture: the
// peak of a run is then that of its largest picture, not the sum of its leftovers. The heap
// that serves the smaller buffers keeps a few megabytes of slack, so that each picture does not
// fault its pages in afresh. Call once at start-up, before any picture is loaded.
void ReturnLargeBuffersToTheSystem();

}  // namespace quillane
