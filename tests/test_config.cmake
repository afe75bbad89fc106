# Configuration of the test build: service constants pointing at the reference servers on loopback.
set(ZANDOR_SERVER_ADDRESS "127.0.0.1" CACHE STRING "" FORCE)
set(ZANDOR_WEB_BASE "http://127.0.0.1:20294" CACHE STRING "" FORCE)
set(ZANDOR_SUPPORT_EMAIL "help@zandor.example" CACHE STRING "" FORCE)
# Test key: the reference account server signs its hello with tests/peers/account_test_key.txt.
set(ZANDOR_LINK_KEYS "1:cfa564586b1bf16cbd45f2a849f1cb19e12c646d2065f07a8bbe3bd5e64098cd" CACHE STRING "" FORCE)
# Test release keys (ids 1 and 2); their secret halves are tests/updates/keys/*.key, for tests only.
set(ZANDOR_RELEASE_KEYS "1:60cdf25d73dac56f9ec0d9976d22dc040d40df8a0a9f3f55eca2621dd55c0ad8,2:676adec4189d3e660abc7cb9c2eaa9f88984056c69645702baa879faf4851724" CACHE STRING "" FORCE)
