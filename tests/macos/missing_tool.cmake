# Fails a check whose tools are missing, saying which: cmake -DWHY=... -P missing_tool.cmake
message(FATAL_ERROR "This check cannot run: ${WHY}. ./scripts/install-deps installs it.")
