# The maker's web site, update path, mail server and results mailbox as build options.
# Each goes into a C string and into the man page, so only plain address characters are
# taken: a quote or backslash would break the one, a space the other.
set(VORN_WEB_SITE "http://www.velto.example" CACHE STRING
    "The maker's web site: update list, libraries, home and help pages (no trailing /)")
set(VORN_UPDATE_PATH "/qkvorn/%s" CACHE STRING
    "Path of the update list and libraries on the web site; %s is the file name")
set(VORN_MAIL_SERVER "mail.velto.example" CACHE STRING "Host name of the maker's mail server")
# Port 25 unless a build names another (587 for a host whose submission server listens
# there); with VORN_MAIL_REQUIRE_TLS results go only over STARTTLS.
set(VORN_MAIL_PORT 25 CACHE STRING "Port of the maker's mail server")
option(VORN_MAIL_REQUIRE_TLS "Send results only when the mail server offers STARTTLS" OFF)
set(VORN_RESULTS_MAILBOX "results@velto.example" CACHE STRING "The maker's results mailbox")

if(NOT VORN_WEB_SITE MATCHES "^https?://[A-Za-z0-9.-]+(:[0-9]+)?(/[A-Za-z0-9._~/-]*[A-Za-z0-9._~-])?$")
    message(FATAL_ERROR "VORN_WEB_SITE must be an http:// or https:// address without a "
        "trailing slash, not '${VORN_WEB_SITE}'")
endif()
# Exactly one %s and no other %: the client formats the path with the file name.
if(NOT VORN_UPDATE_PATH MATCHES "^/[A-Za-z0-9._~/-]*%s[A-Za-z0-9._~/-]*$")
    message(FATAL_ERROR "VORN_UPDATE_PATH must start with / and hold one %s, not '${VORN_UPDATE_PATH}'")
endif()
if(NOT VORN_MAIL_SERVER MATCHES "^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$")
    message(FATAL_ERROR "VORN_MAIL_SERVER must be a host name, not '${VORN_MAIL_SERVER}'")
endif()
if(NOT VORN_MAIL_PORT MATCHES "^[0-9]+$" OR VORN_MAIL_PORT LESS 1 OR VORN_MAIL_PORT GREATER 65535)
    message(FATAL_ERROR "VORN_MAIL_PORT must be a port number, not '${VORN_MAIL_PORT}'")
endif()
if(NOT VORN_RESULTS_MAILBOX MATCHES "^[A-Za-z0-9._+-]+@[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$")
    message(FATAL_ERROR "VORN_RESULTS_MAILBOX must be an address like results@example.org, "
        "not '${VORN_RESULTS_MAILBOX}'")
endif()
