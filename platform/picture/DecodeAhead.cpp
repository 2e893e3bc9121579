#include "platform/picture/DecodeAhead.h"

#include <sys/stat.h>

#include <algorithm>
#include <limits>
#include <new>

namespace quillane {

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    FileIdentity identity;
    identity.Device = info.st_dev;
    identity.Inode = info.st_ino;
    identity.Size = info.st_size;
    identity.ModifiedNs = info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec;
    identity.ChangedNs = info.st_ctim.tv_sec * 1'000'000'000LL + info.st_ctim.tv_nsec;
    return identity;
}

namespace {

// Opens and decodes one picture exactly as the user-interface thread would. Empty when the
// file cannot be identified or changed while it was read: the entry is then left to its turn.
std::optional<DecodedPicture> ReadOne(const DecodeJob& job) {
    const std::optional<FileIdentity> before = IdentityOf(job.Path);
    if (!before) return std::nullopt;
    DecodedPicture result;
    result.Identity = *before;
    result.PaintWidth = job.PaintWidth;
    result.PaintHeight = job.PaintHeight;
    try {
        result.File = PictureFile::Open(job.Path);
    } catch (const RuntimeError& error) {
        result.OpenError = error;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (result.File) {
        try {
            result.Pixels = result.File->DecodeView(job.PaintWidth, job.PaintHeight);
        } catch (const RuntimeError& error) {
            result.DecodeError = error;
        } catch (const std::bad_alloc&) {
            result.OutOfMemory = true;
        }
    }
    if (IdentityOf(job.Path) != before) return std::nullopt;
    return result;
}

}  // namespace

DecodeAhead::DecodeAhead(std::vector<DecodeJob> jobs, std::size_t maxWaiting,
                         std::int64_t budgetBytes)
    : m_jobs(std::move(jobs)),
      m_states(m_jobs.size(), State::Waiting),
      m_finished(m_jobs.size(), false),
      m_results(m_jobs.size()),
      m_maxWaiting(maxWaiting == 0 ? 1 : maxWaiting),
      m_budget(budgetBytes),
      m_estimates(m_jobs.size()),
      m_thread([this] { Work(); }) {}

DecodeAhead::~DecodeAhead() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

bool DecodeAhead::MayBegin(std::size_t index) const {
    const std::ptrdiff_t after = m_jobs[index].After;
    return m_waiting < m_maxWaiting && (after < 0 || m_finished[static_cast<std::size_t>(after)]);
}

std::int64_t DecodeAhead::EstimateOf(std::size_t index) const {
    const std::optional<std::int64_t>& estimate = m_estimates[index];
    return estimate ? *estimate : std::numeric_limits<std::int64_t>::max();
}

bool DecodeAhead::FitsBudget(std::size_t index) const {
    // The caller holds the entry it works on and, until the next one is loaded, the one before;
    // any of them up to this entry may be in memory while this one waits to be taken.
    const std::size_t from = m_firstUnfinished == 0 ? 0 : m_firstUnfinished - 1;
    std::int64_t largest = 0;
    for (std::size_t k = from; k < index; ++k) largest = std::max(largest, EstimateOf(k));
    const std::int64_t own = EstimateOf(index);
    return own <= m_budget && largest <= m_budget - own;
}

void DecodeAhead::Work() {
    // The helper takes every second entry and the caller decodes the others itself at their
    // turn, so both cores decode: a helper that ran ahead on every entry would leave the caller
    // waiting for it instead.
    for (std::size_t index = 1; index < m_jobs.size(); index += 2) {
        // Estimates read the start of each file, outside the lock; the entries the caller may
        // still hold lie between the first unfinished one and this one.
        std::size_t from;
        {
            std::lock_guard lock(m_mutex);
            from = m_firstUnfinished == 0 ? 0 : m_firstUnfinished - 1;
        }
        for (std::size_t k = from; k <= index; ++k) {
            if (!m_estimates[k]) {
                m_estimates[k] =
                    EstimateDecodeBytes(m_jobs[k].Path, m_jobs[k].PaintWidth, m_jobs[k].PaintHeight)
                        .value_or(std::numeric_limits<std::int64_t>::max());
            }
        }
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] {
                return m_stop || m_states[index] != State::Waiting ||
                       (MayBegin(index) && FitsBudget(index));
            });
            if (m_stop) return;
            if (m_states[index] != State::Waiting) continue;  // the caller took it over
            m_states[index] = State::Reading;
        }
        std::optional<DecodedPicture> result = ReadOne(m_jobs[index]);
        {
            std::lock_guard lock(m_mutex);
            m_results[index] = std::move(result);
            m_states[index] = State::Ready;
            ++m_waiting;
        }
        m_changed.notify_all();
    }
}

std::optional<DecodedPicture> DecodeAhead::Take(std::size_t index) {
    if (index >= m_jobs.size()) return std::nullopt;
    std::optional<DecodedPicture> result;
    {
        std::unique_lock lock(m_mutex);
        if (m_states[index] == State::Waiting) {
            m_states[index] = State::LeftToCaller;
            m_changed.notify_all();
            return std::nullopt;
        }
        m_changed.wait(lock, [&] { return m_states[index] != State::Reading; });
        if (m_states[index] != State::Ready) return std::nullopt;
        result = std::move(m_results[index]);
        m_results[index].reset();
        m_states[index] = State::Taken;
        --m_waiting;
    }
    m_changed.notify_all();
    // A file changed since it was read ahead is read again at its turn, as it would have been.
    if (result && IdentityOf(m_jobs[index].Path) != result->Identity) return std::nullopt;
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
