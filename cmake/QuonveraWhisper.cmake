# Local speech recognition through whisper.cpp.
#
#   QUONVERA_WHISPER=AUTO  use an installed whisper.cpp (CMake package or pkg-config); otherwise
#                          fetch the pinned release when the network allows; otherwise build
#                          without local recognition (the cloud service carries every recording)
#   QUONVERA_WHISPER=ON    the same, but a build without whisper.cpp is an error
#   QUONVERA_WHISPER=OFF   never use whisper.cpp
#
# A local checkout is used instead of a download with -DFETCHCONTENT_SOURCE_DIR_WHISPER=<path>.
# Sets QUONVERA_HAVE_WHISPER and defines quonvera_add_whisper_recognizer(<target>).

set(QUONVERA_WHISPER AUTO CACHE STRING "Local speech recognition with whisper.cpp: AUTO, ON or OFF")
set_property(CACHE QUONVERA_WHISPER PROPERTY STRINGS AUTO ON OFF)
set(QUONVERA_WHISPER_REPOSITORY "https://github.com/ggml-org/whisper.cpp.git" CACHE STRING
    "Where the pinned whisper.cpp release is fetched from")
set(QUONVERA_WHISPER_TAG "v1.9.3" CACHE STRING "The whisper.cpp release fetched when none is installed")

set(QUONVERA_HAVE_WHISPER OFF)
set(_quonvera_whisper_target "")

function(_quonvera_fetch_whisper result)
  include(FetchContent)
  if(NOT FETCHCONTENT_SOURCE_DIR_WHISPER)
    if(FETCHCONTENT_FULLY_DISCONNECTED)
      return()
    endif()
    # FetchContent stops the configuration when a download fails; ask the server first so that
    # a machine without network builds without local recognition instead.
    find_package(Git QUIET)
    if(NOT GIT_FOUND)
      message(STATUS "whisper.cpp: git not found, cannot fetch ${QUONVERA_WHISPER_TAG}")
      return()
    endif()
    execute_process(
      COMMAND ${GIT_EXECUTABLE} ls-remote --exit-code --tags ${QUONVERA_WHISPER_REPOSITORY} ${QUONVERA_WHISPER_TAG}
      RESULT_VARIABLE reachable OUTPUT_QUIET ERROR_QUIET TIMEOUT 30)
    if(NOT reachable EQUAL 0)
      message(STATUS "whisper.cpp: ${QUONVERA_WHISPER_REPOSITORY} is not reachable, not fetching ${QUONVERA_WHISPER_TAG}")
      return()
    endif()
  endif()
  FetchContent_Declare(whisper
    GIT_REPOSITORY ${QUONVERA_WHISPER_REPOSITORY}
    GIT_TAG ${QUONVERA_WHISPER_TAG}
    GIT_SHALLOW TRUE)
  set(CMAKE_POLICY_DEFAULT_CMP0077 NEW)  # let the variables below set whisper.cpp's options
  set(BUILD_SHARED_LIBS OFF)
  set(WHISPER_BUILD_TESTS OFF)
  set(WHISPER_BUILD_EXAMPLES OFF)
  set(WHISPER_BUILD_SERVER OFF)
  set(WHISPER_ALL_WARNINGS OFF)
  # Our warning and sanitizer flags are for our own code, not for whisper.cpp and ggml.
  get_directory_property(own_options COMPILE_OPTIONS)
  get_directory_property(own_link_options LINK_OPTIONS)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "" LINK_OPTIONS "")
  FetchContent_MakeAvailable(whisper)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${own_options}" LINK_OPTIONS "${own_link_options}")
  if(TARGET whisper)
    set(${result} whisper PARENT_SCOPE)
  endif()
endfunction()

if(NOT QUONVERA_WHISPER STREQUAL "OFF")
  if(NOT FETCHCONTENT_SOURCE_DIR_WHISPER)
    find_package(whisper CONFIG QUIET)
    if(whisper_FOUND AND TARGET whisper)
      set(_quonvera_whisper_target whisper)
      message(STATUS "whisper.cpp: using the installed package ${whisper_DIR}")
    else()
      pkg_check_modules(QUONVERA_WHISPER_PC QUIET IMPORTED_TARGET whisper)
      if(QUONVERA_WHISPER_PC_FOUND)
        set(_quonvera_whisper_target PkgConfig::QUONVERA_WHISPER_PC)
        message(STATUS "whisper.cpp: using the installed library ${QUONVERA_WHISPER_PC_VERSION} (pkg-config)")
      endif()
    endif()
  endif()
  if(NOT _quonvera_whisper_target)
    _quonvera_fetch_whisper(_quonvera_whisper_target)
    if(_quonvera_whisper_target)
      message(STATUS "whisper.cpp: building ${QUONVERA_WHISPER_TAG} from source")
    endif()
  endif()
  if(_quonvera_whisper_target)
    set(QUONVERA_HAVE_WHISPER ON)
  elseif(QUONVERA_WHISPER STREQUAL "ON")
    message(FATAL_ERROR "QUONVERA_WHISPER=ON but whisper.cpp is neither installed nor fetchable "
                        "(set FETCHCONTENT_SOURCE_DIR_WHISPER to a local checkout)")
  else()
    message(STATUS "whisper.cpp: not available, building without local transcription")
  endif()
endif()

# Adds the whisper.cpp recognizer to `target` when whisper.cpp is part of the build.
function(quonvera_add_whisper_recognizer target)
  if(QUONVERA_HAVE_WHISPER)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src/platform/whisper/WhisperCppRecognizer.cpp)
    target_link_libraries(${target} PUBLIC ${_quonvera_whisper_target})
    target_compile_definitions(${target} PUBLIC QUONVERA_HAVE_WHISPER=1)
  endif()
endfunction()
