# The program that holds a Wine session of the build's prefix open (scripts/wine-session):
# wine-run finds it as testing/wine_session.exe of the build folder.
add_executable(wine_session ${CMAKE_CURRENT_LIST_DIR}/session/WineSession.cpp)
target_link_options(wine_session PRIVATE -municode)
orv_strict(wine_session)
