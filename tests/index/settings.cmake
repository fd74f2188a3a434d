# The index tests open index databases directly, and drive the CLI through
# the module built here.

