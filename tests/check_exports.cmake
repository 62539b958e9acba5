# Fails unless the library's dynamic symbol table defines exactly the
# eleven exports and their session twins.
execute_process(COMMAND nm -D --defined-only ${LIB} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REGEX MATCHALL "[A-Za-z] [^\n]+" entries "${symbols}")
set(found "")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^[A-Za-z] " "" name "${entry}")
  list(APPEND found ${name})
endforeach()
list(SORT found)
set(expected _QX_check_dinamic_bkg _QX_get_bkg_snapshot _QX_init _QX_process_bkg
    _QX_process_color _QX_process_fire _QX_process_lens _QX_process_mask _QX_set_bkg
    _QX_set_mask_image _QX_test_mask_image
    qx_session_create qx_session_destroy qx_check_dinamic_bkg qx_get_bkg_snapshot qx_init
    qx_process_bkg qx_process_color qx_process_fire qx_process_lens qx_process_mask qx_set_bkg
    qx_set_mask_image qx_test_mask_image qx_set_option)
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "exports differ:\n  found:    ${found}\n  expected: ${expected}")
endif()
message(STATUS "exports ok: ${found}")
