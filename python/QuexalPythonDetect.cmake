# Looks for what the Python package needs, before its option is declared so
# that the option defaults to ON only when everything is there. The package
# is built for the distribution's interpreter unless Python_EXECUTABLE says
# otherwise: another one earlier on PATH (pyenv, conda) would not see the
# distribution's numpy, cv2 and pytest.
if(DEFINED QUEXAL_BUILD_PYTHON AND NOT QUEXAL_BUILD_PYTHON)
  return()
endif()
if(NOT DEFINED Python_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "The Python the quexal package is built for")
endif()

find_package(Python 3.8 QUIET COMPONENTS Interpreter Development.Module)
if(Python_FOUND)
  set(PYBIND11_FINDPYTHON ON)
  find_package(pybind11 2.6 CONFIG QUIET)
endif()

set(QUEXAL_PYTHON_FOUND OFF)
if(NOT Python_Development.Module_FOUND)
  message(STATUS "Python package: off, no Python headers (install python3-dev; scripts/setup.sh does)")
elseif(NOT pybind11_FOUND)
  message(STATUS "Python package: off, pybind11 not found (install pybind11-dev; scripts/setup.sh does)")
else()
  set(QUEXAL_PYTHON_FOUND ON)
  message(STATUS "Python package: for ${Python_EXECUTABLE} (${Python_VERSION}), pybind11 ${pybind11_VERSION}")
endif()
