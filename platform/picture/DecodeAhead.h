#pragma once
// Decoding ahead during a batch run: one helper thread opens and decodes every second picture
// of the list while the user-interface thread decodes, paints, writes and reports the others.
// Nothing a person can observe changes: results are taken in list order, a picture that an earlier
// entry's output replaces is read only after that output was written, and a file that changed on
// disk after it was read ahead is read again at its turn.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/RuntimeError.h"
#include "platform/picture/PictureFile.h"
#include "platform/raster/BgrImage.h"

namespace quillane {

// One entry of a run, as the helper thread needs to know it.
struct DecodeJob {
    std::string Path;
    int PaintWidth = 0;  // the size the picture will be painted at
    int PaintHeight = 0;
    // The last earlier entry whose output file is this entry's file: it must be written
    // before this one is read. Negative when there is none.
    std::ptrdiff_t After = -1;
};

// Identifies a file's state on disk; any change of content, permissions or the file itself
// (a replacement by rename gives a new inode) shows as a difference.
struct FileIdentity {
    unsigned long long Device = 0, Inode = 0;
    long long Size = 0, ModifiedNs = 0, ChangedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};
std::optional<FileIdentity> IdentityOf(const std::string& path);

// Roughly the memory opening and decoding the picture at path for this paint size holds at its
// peak (its bytes, the decoder's whole-picture buffers, the decoded pixels), judged from the
// start of the file. Empty when that does not tell.
std::optional<std::int64_t> EstimateDecodeBytes(const std::string& path, int paintWidth,
                                                int paintHeight);

// The pictures the helper thread holds and those the user-interface thread may hold meanwhile
// stay together below this; a picture that would not fits is left to its turn.
inline constexpr std::int64_t kDecodeAheadBudget = std::int64_t{48} << 20;

// What the helper thread made of one entry: the opened file and its decoded pixels, or the
// error that opening or decoding raised, for the user-interface thread to raise at the same
// step of its own work.
struct DecodedPicture {
    std::unique_ptr<PictureFile> File;      // null when opening failed
    std::optional<RuntimeError> OpenError;  // raised by PictureFile::Open
    DecodedPixels Pixels;                   // decoded for PaintWidth x PaintHeight; may
                                            // borrow from File
    std::optional<RuntimeError> DecodeError;
    bool OutOfMemory = false;  // decoding ran out of memory: the caller decodes again itself
    int PaintWidth = 0;
    int PaintHeight = 0;
    FileIdentity Identity;
};

class DecodeAhead {
  public:
    // Starts the helper thread. At most maxWaiting decoded pictures wait to be taken, and an
    // entry is read ahead only while its estimated memory together with that of the largest
    // entry the caller may hold meanwhile stays within budgetBytes.
    explicit DecodeAhead(std::vector<DecodeJob> jobs, std::size_t maxWaiting = 1,
                         std::int64_t budgetBytes = kDecodeAheadBudget);
    // Stops the helper thread and drops whatever it decoded that was not taken.
    ~DecodeAhead();
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // The entry's picture, when the helper thread has read it or is reading it (this waits for
    // it). Empty for the entries the caller decodes itself, for one the helper has not begun
    // (it is then left to the caller), and when the file changed after it was read.
    std::optional<DecodedPicture> Take(std::size_t index);

    // The entry is done: its output is written. Entries that wait for it may be read now.
    void Finished(std::size_t index);

  private:
    enum class State { Waiting, Reading, Ready, Taken, LeftToCaller };

    void Work();
    bool MayBegin(std::size_t index) const;
    bool FitsBudget(std::size_t index) const;
    std::int64_t EstimateOf(std::size_t index) const;

    std::vector<DecodeJob> m_jobs;
    std::vector<State> m_states;
    std::vector<bool> m_finished;
    std::vector<std::optional<DecodedPicture>> m_results;
    std::size_t m_maxWaiting;
    std::int64_t m_budget;
    std::size_t m_firstUnfinished = 0;
    // Estimated bytes per entry; INT64_MAX when unknown. Used by the helper thread only.
    std::vector<std::optional<std::int64_t>> m_estimates;
    std::size_t m_waiting = 0;  // results Ready and not yet taken
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;  // last: starts after everything above is set up
};

}  // namespace quillane
