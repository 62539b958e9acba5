# The README shows `quexal --help` and `quexal run --help`; each must be
# there exactly as the program prints it.
file(READ ${README} readme)
foreach(words "--help" "run;--help")
  execute_process(COMMAND ${EXE} ${words} RESULT_VARIABLE rc OUTPUT_VARIABLE help)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "quexal ${words} exited ${rc}")
  endif()
  string(FIND "${readme}" "${help}" at)
  if(at EQUAL -1)
    string(REPLACE ";" " " shown "${words}")
    message(FATAL_ERROR "README.md does not hold the output of `quexal ${shown}`; paste it in:\n${help}")
  endif()
endforeach()
