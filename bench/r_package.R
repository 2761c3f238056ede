# The R package beside the command line on the same file, in one run:
#
#   Rscript bench/r_package.R TEVROL DATA NPERM [REPEATS]
#
# Times tevrol_read(), tevrol() on the data frame, and the whole command-line
# run (median of REPEATS), checks that both give the same numbers, and reports
# peak resident memory: of the R process after the runs, and of the program.
arguments <- commandArgs(trailingOnly = TRUE)
if (length(arguments) < 3L) stop("usage: Rscript bench/r_package.R TEVROL DATA NPERM [REPEATS]")
program <- arguments[[1L]]
data <- arguments[[2L]]
nperm <- as.numeric(arguments[[3L]])
repeats <- if (length(arguments) >= 4L) as.integer(arguments[[4L]]) else 3L
suppressPackageStartupMessages(library(tevrol))

peak_mib <- function(status = "/proc/self/status") {
  line <- grep("^VmHWM:", readLines(status), value = TRUE)
  as.numeric(gsub("[^0-9]", "", line)) / 1024
}
seconds <- function(expr) system.time(expr)[["elapsed"]]
median_of <- function(f) stats::median(vapply(seq_len(repeats), function(i) f(), 0))

base_mib <- peak_mib()
data_frame <- NULL
result <- NULL
read_s <- median_of(function() seconds(data_frame <<- tevrol_read(data)))
frame_mib <- as.numeric(utils::object.size(data_frame)) / 2^20
run_s <- median_of(function() seconds(result <<- tevrol(data_frame, nperm = nperm, seed = -1)))
json <- tempfile(fileext = ".json")
program_s <- median_of(function() {
  seconds(system2(program, c("--json", json, data, nperm, -1), stdout = FALSE))
})
memory <- tempfile()
system2("/usr/bin/time", c("-f", "%M", "-o", memory, program, data, nperm, -1), stdout = FALSE)
program_mib <- as.numeric(readLines(memory)) / 1024

cli <- jsonlite::fromJSON(json)
columns <- c("df", "seq_ss", "adj_ss", "ms", "F", "n", "var")
same_factor <- function(f) {
  identical(unname(unlist(cli$anova[[f]])), unname(unlist(result$anova[f, columns]))) &&
    identical(cli$tests[[f]]$extreme, result$tests$extreme[result$tests$factor == f])
}
same <- same_factor("XA") && same_factor("XB")
cat(sprintf(paste0("%s: N = %d, L = %d, nperm %g\n",
                   "  R: tevrol_read %.3f s, tevrol %.3f s, together %.3f s (%.2f x the program)\n",
                   "  program: %.3f s, peak %.0f MiB\n",
                   "  R process: peak %.0f MiB (%.0f MiB at start; the data frame holds %.0f MiB)\n",
                   "  same numbers as the program: %s\n"),
            basename(data), result$individuals, result$loci, nperm, read_s, run_s, read_s + run_s,
            (read_s + run_s) / program_s, program_s, program_mib, peak_mib(), base_mib, frame_mib,
            if (same) "yes" else "NO"))
