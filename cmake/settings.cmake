# Deployment settings: the hosts the program talks to. The defaults point at
# the local demo server that scripts/run starts, so a plain build works end
# to end on this machine. Point a release build at real hosts with -D...
set(KV_DEMO_PORT 18480 CACHE STRING "Port of the local demo server")
set(KV_STATS_HOST "127.0.0.1:${KV_DEMO_PORT}" CACHE STRING "Statistics host (host[:port])")
set(KV_PORTAL_HOST "127.0.0.1:${KV_DEMO_PORT}" CACHE STRING "Game portal host (host[:port])")
set(KV_GAME_SITE_HOST "127.0.0.1:${KV_DEMO_PORT}" CACHE STRING "Game site host (host[:port])")
set(KV_SOCIAL_URL "http://127.0.0.1:${KV_DEMO_PORT}/social.html" CACHE STRING "Social page URL")
set(KV_INSTALLER_URL "http://127.0.0.1:${KV_DEMO_PORT}/download/KorvanInstall.exe" CACHE STRING
    "Installer URL(s), ';' between fallback sources")
set(KV_INSTALLER_SHA256 "" CACHE STRING "SHA-256 of the installer (empty: the demo build computes it)")

set(KV_VERSION_MAJOR 1)
set(KV_VERSION_MINOR 0)
set(KV_VERSION_PATCH 0)
set(KV_VERSION_BUILD 1)

set(KV_GENERATED_DIR "${CMAKE_BINARY_DIR}/generated")
configure_file("${CMAKE_SOURCE_DIR}/cmake/deployment_settings.h.in"
               "${KV_GENERATED_DIR}/deployment_settings.h" @ONLY)
