# What the program says about itself, set here once: the version (the project's), the maker's
# web site and support mail, and where an install keeps the skin library and the manual.
# The addresses are cache variables so that a build can give the real ones:
#   cmake -DQUILLET_WEB_SITE=https://... -DQUILLET_SUPPORT_MAIL=someone@...
include(GNUInstallDirs)

set(QUILLET_WEB_SITE "https://quillet.example/" CACHE STRING "The maker's web site")
set(QUILLET_SUPPORT_MAIL "support@quillet.example" CACHE STRING "The maker's support mail address")
set(QUILLET_APP_ID "" CACHE STRING
    "Reverse-DNS id of the desktop entry, icon and metainfo (empty: made from the web site)")

if(NOT QUILLET_WEB_SITE MATCHES "^https?://([^/:]+)")
  message(FATAL_ERROR "QUILLET_WEB_SITE must be an http or https address: ${QUILLET_WEB_SITE}")
endif()
set(QUILLET_WEB_HOST "${CMAKE_MATCH_1}")
if(NOT QUILLET_SUPPORT_MAIL MATCHES "^[^@ ]+@([^@ ]+)$")
  message(FATAL_ERROR "QUILLET_SUPPORT_MAIL must be a mail address: ${QUILLET_SUPPORT_MAIL}")
endif()
set(QUILLET_MAIL_HOST "${CMAKE_MATCH_1}")

# Reserved names (RFC 2606, RFC 6761) stand in until the maker gives real addresses.
set(QUILLET_PLACEHOLDER_ADDRESSES OFF)
foreach(host ${QUILLET_WEB_HOST} ${QUILLET_MAIL_HOST})
  string(TOLOWER "${host}" host)
  if(host MATCHES "(^|\\.)(example|invalid|test|localhost)$" OR
     host MATCHES "(^|\\.)example\\.(com|net|org)$")
    set(QUILLET_PLACEHOLDER_ADDRESSES ON)
  endif()
endforeach()

if(QUILLET_APP_ID)
  set(QUILLET_ID "${QUILLET_APP_ID}")
else()
  string(TOLOWER "${QUILLET_WEB_HOST}" host)
  string(REGEX REPLACE "^www\\." "" host "${host}")
  string(REPLACE "-" "_" host "${host}")
  string(REPLACE "." ";" labels "${host}")
  list(REVERSE labels)
  list(JOIN labels "." QUILLET_ID)
  set(QUILLET_ID "${QUILLET_ID}.Quillet")
endif()

# The release the version names: the metainfo and the man pages carry its date.
set(QUILLET_RELEASE_DATE 2026-12-08)
# The screenshot the metainfo shows, docs/screenshot.png as published on the web site.
string(REGEX REPLACE "/+$" "" site "${QUILLET_WEB_SITE}")
set(QUILLET_SCREENSHOT_URL "${site}/screenshot.png")

# The installed share folder as the installed program finds it: relative to its own folder,
# so that an install moved as a whole still works.
file(RELATIVE_PATH QUILLET_INSTALLED_DATA_DIR
     "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_FULL_DATADIR}/quillet")

set(QUILLET_GENERATED_DIR "${PROJECT_BINARY_DIR}/generated")
configure_file("${CMAKE_CURRENT_LIST_DIR}/QuilletBuildConfig.h.in"
               "${QUILLET_GENERATED_DIR}/QuilletBuildConfig.h" @ONLY)
