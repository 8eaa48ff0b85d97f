# Tests of this part of transport/.
