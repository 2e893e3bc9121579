#pragma once
// Decoding ahead as a batch run sees it: while a scope lives, LoadPicture takes the pictures of
// the run from a helper thread that opens, decodes and stretches them ahead of their turn
// (DecodeAhead). The results and errors are the ones loading them at their turn would give, so
// nothing a person can observe changes; the run only says which entry it turns to and when each
// is done.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/forms/LoadPicture.h"
#include "platform/raster/Fit.h"

namespace quillane {

// One entry of a run, as the helper thread needs to know it.
struct DecodeJob {
    std::string Path;
    int PaintWidth = 0;  // the size of the canvas it will be painted on; 0 for its own size
    int PaintHeight = 0;
    // The last earlier entry whose output file is this entry's file: it must be written
    // before this one is read. Negative when there is none.
    std::ptrdiff_t After = -1;
    FitMode Fit = FitMode::Stretch;  // how it will be placed on the canvas
};

class DecodeAhead;

class DecodeAheadScope {
  public:
    // Starts reading the entries ahead, beginning with the second.
    explicit DecodeAheadScope(std::vector<DecodeJob> jobs);
    // Stops the helper and drops whatever it read that was not taken; LoadPicture reads
    // pictures itself again.
    ~DecodeAheadScope();
    DecodeAheadScope(const DecodeAheadScope&) = delete;
    DecodeAheadScope& operator=(const DecodeAheadScope&) = delete;

    // The run turns to the entry: its next LoadPicture of the entry's path takes what was read
    // ahead, once.
    void Begin(std::size_t index);
    // The entry's output is written: entries that wait for it may be read now.
    void Finished(std::size_t index);

  private:
    // The picture read ahead for the entry being converted, when path is its path.
    PictureRef TakeFor(const std::string& path);

    std::vector<std::string> m_paths;
    std::unique_ptr<DecodeAhead> m_ahead;
    std::optional<std::size_t> m_current;  // the entry being converted, until it is taken
    PictureSupplier m_previous;            // LoadPicture's supplier before this scope
};

}  // namespace quillane
