message(FATAL_ERROR "The package needs the manual pages, and this build found no help2man: "
  "install it (apt-get install help2man), then configure and build again.")
