// What a QxSession handle is: the opaque C type over the library's Session.
#pragma once

#include "quexal/quexal.h"
#include "session/session.h"

struct QxSession {
    quexal::Session session;
};

namespace quexal {

// The session behind the _QX_ exports, built when the library is loaded.
QxSession* defaultSession();

}  // namespace quexal
