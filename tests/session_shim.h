// Force-included into the session build of the test suite: every export the
// tests call goes to its session twin on a session of the test's own, and
// theContext() names that session's state. ctest runs each test in its own
// process, so each test starts from a fresh session, as the export build
// starts from a freshly loaded library.
#pragma once

#include "api/session_handle.h"
#include "quexal/quexal.h"
#include "session/session.h"

namespace quexal::test {
QxSession* shimSession();
}  // namespace quexal::test

#define QX_SHIM_S ::quexal::test::shimSession()
#define _QX_init(...) qx_init(QX_SHIM_S, __VA_ARGS__)
#define _QX_process_mask(...) qx_process_mask(QX_SHIM_S, __VA_ARGS__)
#define _QX_process_lens(...) qx_process_lens(QX_SHIM_S, __VA_ARGS__)
#define _QX_process_color(...) qx_process_color(QX_SHIM_S, __VA_ARGS__)
#define _QX_process_fire(...) qx_process_fire(QX_SHIM_S, __VA_ARGS__)
#define _QX_process_bkg(...) qx_process_bkg(QX_SHIM_S, __VA_ARGS__)
#define _QX_set_bkg(...) qx_set_bkg(QX_SHIM_S, __VA_ARGS__)
#define _QX_get_bkg_snapshot(...) qx_get_bkg_snapshot(QX_SHIM_S, __VA_ARGS__)
#define _QX_set_mask_image(...) qx_set_mask_image(QX_SHIM_S, __VA_ARGS__)
#define _QX_test_mask_image(...) qx_test_mask_image(QX_SHIM_S, __VA_ARGS__)
#define _QX_check_dinamic_bkg(...) qx_check_dinamic_bkg(QX_SHIM_S, __VA_ARGS__)
#define theContext() (QX_SHIM_S->session)
