# Filled in as this part is built.
