# Build constants of the application. Empty server URLs mean: start the
# sample content server inside the process and use it.
set(LORVANE_CONTENT_BASE_URL "" CACHE STRING "Base URL of the lesson content server")
set(LORVANE_RECOMMEND_BASE_URL "" CACHE STRING "Base URL of the app recommendation server")
set(LORVANE_STORE_REVIEW_URL "itms-apps://itunes.apple.com/WebObjects/MZStore.woa/wa/viewContentsUserReviews?type=Purple+Software&id=000000000" CACHE STRING "Store page for rating the app")
set(LORVANE_STORE_APP_URL "https://itunes.apple.com/app/id000000000" CACHE STRING "Store page of the app")
set(LORVANE_FEEDBACK_ADDRESS "feedback@lorvane.app" CACHE STRING "Where feedback mail goes")
set(LORVANE_SHARE_APP_KEY "lorvane-share-key" CACHE STRING "Key of the sharing service")
set(LORVANE_ANALYTICS_APP_KEY "lorvane-analytics-key" CACHE STRING "Key of the analytics service")
set(LORVANE_WECHAT_APP_ID "wx0000000000000000" CACHE STRING "WeChat application id")
