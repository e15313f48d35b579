// The calls of one registry tree operation as one transaction of the Linux store
// (PlatRegBeginGroup/PlatRegEndGroup): other processes see the whole operation or none of
// it, and a crash in the middle leaves the registry as it was. Windows has no such notion,
// and there the group does nothing. One thread uses a group, from its start to its end.
#pragma once

#include <korutil/platform.h>

namespace korutil::detail {

class RegGroup {
public:
    RegGroup() {
#ifndef _WIN32
        m_open = PlatRegBeginGroup() == ERROR_SUCCESS;
#endif
    }
    ~RegGroup() {
        end(true);
    }
    RegGroup(const RegGroup&) = delete;
    RegGroup& operator=(const RegGroup&) = delete;

    // Commits (or undoes) the group's changes; the commit's status, 0 without a group.
    LONG end(bool commit) {
        LONG status = ERROR_SUCCESS;
#ifndef _WIN32
        if (m_open) {
            status = PlatRegEndGroup(commit ? TRUE : FALSE);
        }
#endif
        m_open = false;
        return commit ? status : ERROR_SUCCESS;
    }

private:
    bool m_open = false;
};

} // namespace korutil::detail
