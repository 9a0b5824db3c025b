# Build constants of the application. Empty server URLs mean: start the
# sample content server inside the process and use it.
set(LORVANE_CONTENT_BASE_URL "" CACHE STRING "Base URL of the lesson content server")
set(LORVANE_RECOMMEND_BASE_URL "" CACHE STRING "Base URL of the app recommendation server")
set(LORVANE_STORE_REVIEW_URL "itms-apps://itunes.apple.com/WebObjects/MZStore.woa/wa/viewContentsUserReviews?type=Purple+Software&id=000000000" CACHE STRING "Store page for rating the app")
set(LORVANE_STORE_APP_URL "https://itunes.apple.com/app/id000000000" CACHE STRING "Store page of the app")
set(LORVANE_FEEDBACK_ADDRESS "feedback@lorvane.app" CACHE STRING "Where feedback mail goes")
# The app's key with the sharing service: 24 lower-case hexadecimal digits.
# Start-up registers it with sharing and with analytics, and every share
# request carries it.
set(LORVANE_SHARE_APP_KEY "5f1c3a9e0b7d4e2a8c6f0d13" CACHE STRING
    "Key of the sharing and analytics services (24 lower-case hexadecimal digits)")
# Build folders configured before the key had its form still cache the old
# placeholder; a key nobody chose is replaced, not refused.
if(LORVANE_SHARE_APP_KEY STREQUAL "lorvane-share-key")
  set(LORVANE_SHARE_APP_KEY "5f1c3a9e0b7d4e2a8c6f0d13" CACHE STRING
      "Key of the sharing and analytics services (24 lower-case hexadecimal digits)" FORCE)
endif()
string(LENGTH "${LORVANE_SHARE_APP_KEY}" lorvane_share_key_length)
if(NOT lorvane_share_key_length EQUAL 24 OR NOT LORVANE_SHARE_APP_KEY MATCHES "^[0-9a-f]+$")
  message(FATAL_ERROR "LORVANE_SHARE_APP_KEY must be 24 lower-case hexadecimal digits, not \"${LORVANE_SHARE_APP_KEY}\"")
endif()
# Analytics uses the sharing key; a separate one was never read.
unset(LORVANE_ANALYTICS_APP_KEY CACHE)
set(LORVANE_WECHAT_APP_ID "wx0000000000000000" CACHE STRING "WeChat application id")
