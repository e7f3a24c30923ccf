#pragma once

#include "base/Failure.h"

#include <optional>

// Qt leaves it undefined for an exception to leave a slot, so a change rule
// that fails while a guarded procedure is setting a field keeps its failure
// here; the procedure's trap takes it once its statement returns and reports
// it at that statement's line.
class DeferredFailure
{
public:
    bool armed() const { return m_depth > 0; }
    void record(const Failure &failure)
    {
        if (!m_failure)
            m_failure = failure;
    }
    std::optional<Failure> take() { return std::exchange(m_failure, std::nullopt); }

private:
    friend class ErrorTrap;
    int m_depth = 0;
    std::optional<Failure> m_failure;
};
