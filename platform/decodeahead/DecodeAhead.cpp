#include "platform/decodeahead/DecodeAhead.h"

#include <algorithm>
#include <limits>
#include <new>

#include "platform/decodeahead/DecodeEstimate.h"

namespace quillane {

namespace {

// Opens, decodes and stretches one picture exactly as the user-interface thread would. Empty when
// the file cannot be identified, changed while it was read, or needs Qt's reader before the
// user-interface thread loaded it: the entry is then left to its turn.
std::optional<DecodedPicture> ReadOne(const DecodeJob& job) {
    const std::optional<FileStamp> before = StampOf(job.Path);
    if (!before) return std::nullopt;
    DecodedPicture result;
    result.Identity = *before;
    try {
        result.File = PictureFile::Open(job.Path);
    } catch (const RuntimeError& error) {
        result.OpenError = error;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const QtReadersNotReadyHere&) {
        return std::nullopt;
    }
    if (result.File) {
        const int width = result.File->Width(), height = result.File->Height();
        const bool ownSize = job.PaintWidth <= 0 || job.PaintHeight <= 0;
        const FitPlacement placement =
            FitRectangles(job.Fit, width, height, ownSize ? width : job.PaintWidth,
                          ownSize ? height : job.PaintHeight);
        result.Area = AreaOf(placement.Source);
        result.PaintWidth = placement.Destination.Width;
        result.PaintHeight = placement.Destination.Height;
        try {
            result.Painted =
                result.File->DecodeStretched(result.Area, result.PaintWidth, result.PaintHeight);
        } catch (const RuntimeError& error) {
            result.DecodeError = error;
        } catch (const std::bad_alloc&) {
            result.OutOfMemory = true;
        } catch (const QtReadersNotReadyHere&) {
            return std::nullopt;
        }
    }
    if (StampOf(job.Path) != before) return std::nullopt;
    return result;
}

}  // namespace

namespace {

// How far beyond the caller the helper reads the starts of files for their estimates.
constexpr std::size_t kEstimateLookahead = 32;

std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
    return a > std::numeric_limits<std::int64_t>::max() - b
               ? std::numeric_limits<std::int64_t>::max()
               : a + b;
}

}  // namespace

DecodeAhead::DecodeAhead(std::vector<DecodeJob> jobs, DecodeAheadLimits limits)
    : m_jobs(std::move(jobs)),
      m_states(m_jobs.size(), State::Waiting),
      m_finished(m_jobs.size(), false),
      m_results(m_jobs.size()),
      m_limits(limits),
      m_estimates(m_jobs.size()),
      m_keptBytes(m_jobs.size(), 0) {
    if (m_limits.MaxWaiting == 0) m_limits.MaxWaiting = 1;
    PictureFile::PrepareForHelperThreads();
    m_thread = std::thread([this] { Work(); });
}

DecodeAhead::~DecodeAhead() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

std::int64_t DecodeAhead::EstimateOf(std::size_t index) const {
    const std::optional<std::int64_t>& estimate = m_estimates[index];
    return estimate ? *estimate : std::numeric_limits<std::int64_t>::max();
}

bool DecodeAhead::FitsBudget(std::size_t index) const {
    std::int64_t budget = m_limits.BudgetBytes;
    if (m_limits.GrowToLargestPicture) budget = std::max(budget, m_largestEstimate);
    // The caller holds the entry it works on and, until the next one is loaded, the file of
    // the one before; every entry being read or waiting to be taken is held too.
    const std::size_t from = m_firstUnfinished == 0 ? 0 : m_firstUnfinished - 1;
    std::int64_t held = 0;
    const std::size_t last = std::min(m_jobs.size() - 1, std::max(m_callerAt, m_highestClaimed));
    for (std::size_t k = from; k <= last; ++k) {
        const bool ahead = m_states[k] == State::Reading || m_states[k] == State::Ready;
        if (k < m_firstUnfinished || m_states[k] == State::Ready || m_states[k] == State::Handed) {
            // Decoded and stretched: only its file and the stretched picture are kept. Counting
            // the entry the caller paints and writes at its whole decode held the helper back
            // until the write was done, one picture at a time, whenever two estimates passed
            // the budget (large photographs at a large paint size).
            held = SaturatingAdd(held, m_keptBytes[k]);
        } else if (ahead || k <= m_callerAt) {
            held = SaturatingAdd(held, EstimateOf(k));
        }
    }
    const std::int64_t own = EstimateOf(index);
    return own <= budget && held <= budget - own;
}

std::optional<std::size_t> DecodeAhead::NextToRead() const {
    if (m_stop || m_waiting >= m_limits.MaxWaiting) return std::nullopt;
    for (std::size_t k = m_callerAt + 1; k < m_jobs.size(); ++k) {
        if (m_states[k] != State::Waiting) continue;
        const std::ptrdiff_t after = m_jobs[k].After;
        // One that must wait for an earlier output is passed over; later ones may go first.
        if (after >= 0 && !m_finished[static_cast<std::size_t>(after)]) continue;
        if (!FitsBudget(k)) return std::nullopt;  // in list order, once memory allows
        return k;
    }
    return std::nullopt;
}

void DecodeAhead::ReadAhead(std::size_t index, std::unique_lock<std::mutex>& lock) {
    m_states[index] = State::Reading;
    ++m_waiting;
    m_highestClaimed = std::max(m_highestClaimed, index);
    const DecodeJob& job = m_jobs[index];
    lock.unlock();
    std::optional<DecodedPicture> result = ReadOne(job);
    lock.lock();
    if (index < m_callerAt) {  // the caller has gone past it meanwhile: nobody will take it
        m_states[index] = State::Taken;
        --m_waiting;
    } else {
        m_results[index] = std::move(result);
        m_states[index] = State::Ready;
    }
    m_changed.notify_all();
}

void DecodeAhead::Work() {
    PictureFile::MarkHelperThread();
    std::size_t estimated = 0;
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        // Estimates read the start of each file, outside the lock, a little ahead of the caller.
        const std::size_t until = std::min(m_jobs.size(), m_callerAt + 1 + kEstimateLookahead);
        if (estimated < until) {
            lock.unlock();
            std::vector<std::optional<DecodeCost>> found;
            for (std::size_t k = estimated; k < until; ++k) {
                found.push_back(EstimateDecodeBytes(m_jobs[k].Path, m_jobs[k].PaintWidth,
                                                    m_jobs[k].PaintHeight, m_jobs[k].Fit));
            }
            lock.lock();
            for (std::size_t k = estimated; k < until; ++k) {
                const std::optional<DecodeCost>& cost = found[k - estimated];
                m_estimates[k] = cost ? cost->Peak : std::numeric_limits<std::int64_t>::max();
                m_keptBytes[k] = cost ? cost->Kept : std::numeric_limits<std::int64_t>::max();
                if (*m_estimates[k] != std::numeric_limits<std::int64_t>::max()) {
                    m_largestEstimate = std::max(m_largestEstimate, *m_estimates[k]);
                }
            }
            estimated = until;
            m_changed.notify_all();
            continue;
        }
        if (const std::optional<std::size_t> next = NextToRead()) {
            ReadAhead(*next, lock);
            continue;
        }
        m_changed.wait(lock);
    }
}

std::optional<DecodedPicture> DecodeAhead::Take(std::size_t index) {
    if (index >= m_jobs.size()) return std::nullopt;
    std::optional<DecodedPicture> result;
    {
        std::unique_lock lock(m_mutex);
        // Pictures read ahead for entries the caller passed without loading are dropped.
        for (std::size_t k = m_callerAt; k < index; ++k) {
            if (m_states[k] == State::Ready) {
                m_results[k].reset();
                m_states[k] = State::Taken;
                --m_waiting;
            }
        }
        m_callerAt = std::max(m_callerAt, index);
        m_changed.notify_all();
        if (m_states[index] == State::Waiting) {
            m_states[index] = State::LeftToCaller;
            return std::nullopt;
        }
        while (m_states[index] == State::Reading) {
            // Rather than wait idle for the helper, read a later entry ahead meanwhile.
            if (const std::optional<std::size_t> next = NextToRead()) {
                ReadAhead(*next, lock);
            } else {
                m_changed.wait(lock);
            }
        }
        if (m_states[index] != State::Ready) return std::nullopt;
        result = std::move(m_results[index]);
        m_results[index].reset();
        m_states[index] = result ? State::Handed : State::LeftToCaller;
        --m_waiting;
    }
    m_changed.notify_all();
    // A file changed since it was read ahead is read again at its turn, as it would have been,
    // and then held whole by the caller.
    if (result && StampOf(m_jobs[index].Path) != result->Identity) {
        std::lock_guard lock(m_mutex);
        m_states[index] = State::LeftToCaller;
        return std::nullopt;
    }
    return result;
}

void DecodeAhead::Finished(std::size_t index) {
    if (index >= m_jobs.size()) return;
    {
        std::lock_guard lock(m_mutex);
        m_finished[index] = true;
        while (m_firstUnfinished < m_jobs.size() && m_finished[m_firstUnfinished]) {
            ++m_firstUnfinished;
        }
    }
    m_changed.notify_all();
}

}  // namespace quillane
