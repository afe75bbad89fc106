# Configuration of the test build: service constants pointing at the reference servers on loopback.
set(ZANDOR_SERVER_ADDRESS "127.0.0.1" CACHE STRING "")
set(ZANDOR_WEB_BASE "http://127.0.0.1:20294" CACHE STRING "")
set(ZANDOR_SUPPORT_EMAIL "help@zandor.example" CACHE STRING "")
