library(testthat)
library(tevrol)

test_check("tevrol")
