#pragma once
// Decoding ahead during a batch run (private to platform/decodeahead): one helper thread opens,
// decodes and stretches pictures of the list ahead of the user-interface thread, which paints,
// writes and reports them in order (and, rather than wait for the helper, reads ahead itself).
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

#include "platform/base/RuntimeError.h"
#include "platform/decodeahead/DecodeAheadScope.h"
#include "platform/picture/FileSnapshot.h"
#include "platform/picture/PictureFile.h"
#include "platform/raster/BgrImage.h"
#include "platform/raster/Fit.h"

namespace quillane {

// How much decoding ahead may hold. Pictures read ahead and those the user-interface thread
// holds meanwhile stay together within the budget; a picture that does not fit is left to its
// turn. With GrowToLargestPicture the budget rises to the largest estimate known so far (files
// are estimated a little ahead of the caller): a run then never holds more at once than its
// largest picture needs alone, which it needs anyway.
inline constexpr std::int64_t kDecodeAheadBudget = std::int64_t{48} << 20;
struct DecodeAheadLimits {
    // Pictures being read ahead or waiting to be taken. Three keep the helper busy while the
    // user-interface thread converts (runs at every size take as long as with eight), and each
    // one waiting holds its painted picture: 6 MiB at 1920 x 1080, where eight took a run of
    // photographs from 51 to 65 MiB.
    std::size_t MaxWaiting = 3;
    std::int64_t BudgetBytes = kDecodeAheadBudget;
    bool GrowToLargestPicture = true;
};

// What reading an entry ahead made of it: the opened file and the picture stretched to its paint
// size, or the error that opening or decoding raised, for the user-interface thread to raise at
// the same step of its own work.
struct DecodedPicture {
    std::unique_ptr<PictureFile> File;      // null when opening failed
    std::optional<RuntimeError> OpenError;  // raised by PictureFile::Open
    BgrImage Painted;                       // Area stretched to PaintWidth x PaintHeight
    std::optional<RuntimeError> DecodeError;
    bool OutOfMemory = false;  // decoding ran out of memory: the caller decodes again itself
    SourceArea Area;           // the part of the picture the job's fit paints
    int PaintWidth = 0;        // the size that part is painted at on the canvas
    int PaintHeight = 0;
    FileStamp Identity;  // the file when it was read
};

class DecodeAhead {
  public:
    // Starts the helper thread, which reads the entries in list order as far as the limits
    // allow, beginning with the second.
    explicit DecodeAhead(std::vector<DecodeJob> jobs, DecodeAheadLimits limits = {});
    // Stops the helper thread and drops whatever it decoded that was not taken.
    ~DecodeAhead();
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // The entry's picture, when it was read ahead or is being read (this waits for it, and
    // meanwhile reads a later entry ahead itself rather than sit idle). Empty for an entry
    // nobody has begun (it is then left to the caller) and when the file changed after it was
    // read.
    std::optional<DecodedPicture> Take(std::size_t index);

    // The entry is done: its output is written. Entries that wait for it may be read now.
    void Finished(std::size_t index);

  private:
    // Handed: taken as read ahead, so the caller holds only its file and stretched picture;
    // Taken: dropped, or taken by a caller gone past it.
    enum class State { Waiting, Reading, Ready, Handed, Taken, LeftToCaller };

    void Work();
    // The next entry either thread may read ahead now, beyond the entry the caller is at; called
    // with the mutex held.
    std::optional<std::size_t> NextToRead() const;
    bool FitsBudget(std::size_t index) const;
    std::int64_t EstimateOf(std::size_t index) const;
    // Reads the entry (outside the lock) and files its result as Ready.
    void ReadAhead(std::size_t index, std::unique_lock<std::mutex>& lock);
    // Reads the start of every file for its estimate; the helper does this before it reads.
    void EstimateAll();

    std::vector<DecodeJob> m_jobs;
    std::vector<State> m_states;
    std::vector<bool> m_finished;
    std::vector<std::optional<DecodedPicture>> m_results;
    DecodeAheadLimits m_limits;
    std::size_t m_firstUnfinished = 0;
    std::size_t m_callerAt = 0;        // the entry the caller takes next or works on
    std::size_t m_highestClaimed = 0;  // the last entry begun ahead
    // Estimated bytes per entry; INT64_MAX when the start of the file does not tell.
    std::vector<std::optional<std::int64_t>> m_estimates;
    // What an entry keeps once stretched.
    std::vector<std::int64_t> m_keptBytes;
    std::int64_t m_largestEstimate = 0;
    std::size_t m_waiting = 0;  // entries being read ahead or Ready and not yet taken
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;  // started at the end of the constructor, once all above is set up
};

}  // namespace quillane
