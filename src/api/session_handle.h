// What a QxSession handle is: the opaque C type over the library's Session.
#pragma once

#include "quexal/quexal.h"
#include "session/session.h"

struct QxSession {
    explicit QxSession(quexal::BufferPolicy policy = quexal::BufferPolicy::OnFirstUse)
        : session(policy) {}
    quexal::Session session;
};

namespace quexal {

// The session behind the _QX_ exports, built when the library is loaded. It
// allocates at init, as the exports always have, so that _QX_init refuses a
// size memory cannot hold.
QxSession* defaultSession();

}  // namespace quexal
