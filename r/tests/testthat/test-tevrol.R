# The command line's own output for the bundled examples is kept in cli/
# (regenerated and compared with the program by the repository's tests).
runs <- list(demo = list(nperm = 100, seed = -1), regions = list(nperm = 1000, seed = -7))

example_path <- function(name) system.file("extdata", paste0(name, ".txt"), package = "tevrol")
cli_file <- function(name, suffix) test_path("cli", paste0(name, suffix))

run_example <- function(name, ...) {
  tevrol(tevrol_read(example_path(name)), nperm = runs[[name]]$nperm, seed = runs[[name]]$seed, ...)
}

test_that("results are the command line's JSON, number for number", {
  skip_if_not_installed("jsonlite")
  for (name in names(runs)) {
    json <- jsonlite::fromJSON(cli_file(name, ".json"), simplifyVector = FALSE)
    x <- run_example(name)
    expect_identical(x$seed, as.double(json$seed))
    expect_identical(x$nperm, json$nperm)
    expect_identical(c(x$individuals, x$loci), c(json$individuals, json$loci))
    expect_identical(x$levels, lapply(json$factors, function(f) unlist(f$levels)))
    expect_identical(unname(x$factors), c(json$factors$XA$name, json$factors$XB$name))
    expect_identical(unname(x$sample_sizes), do.call(rbind, lapply(json$sample_sizes, as.integer)))
    a <- json$anova
    for (row in c("XA", "XB")) {
      expect_identical(unlist(x$anova[row, ]),
                       unlist(a[[row]])[c("df", "seq_ss", "adj_ss", "ms", "F", "n", "var")],
                       ignore_attr = TRUE)
    }
    expect_identical(unlist(x$anova["Error", c("df", "seq_ss", "ms", "var")]),
                     unlist(a$Error), ignore_attr = TRUE)
    expect_identical(unlist(x$anova["Total", c("df", "seq_ss", "var")]),
                     unlist(a$Total), ignore_attr = TRUE)
    from_json <- do.call(rbind, lapply(json$tests, function(t) {
      do.call(rbind, lapply(t[c("XA", "XB")], as.data.frame))
    }))
    expect_identical(x$tests[c("p", "se", "bound", "extreme")], from_json, ignore_attr = TRUE)
  }
})

test_that("the table with interaction and the effect sizes are the command line's", {
  skip_if_not_installed("jsonlite")
  json <- jsonlite::fromJSON(cli_file("regions_blocks", ".json"), simplifyVector = FALSE)
  x <- run_example("regions", interaction = TRUE, effects = TRUE, pairwise = TRUE)
  i <- json$interaction
  for (row in c("XA", "XB", "XA:XB")) {
    expect_identical(unlist(x$interaction[row, c("df", "seq_ss", "adj_ss", "ms", "F", "r2_seq")]),
                     unlist(i[[row]]), ignore_attr = TRUE)
    expect_identical(unlist(x$interaction[row, c("type", "p", "se", "bound", "extreme")]),
                     unlist(i$tests[[row]][c("type", "p", "se", "bound", "extreme")]),
                     ignore_attr = TRUE)
  }
  expect_identical(x$interaction["Residual", "seq_ss"], i$Residual$ss)
  keys <- c("F", "r2", "p", "se", "bound", "extreme", "p_holm", "p_bh")
  from_json <- do.call(rbind, lapply(json$pairwise, function(p) {
    c(p[keys], setNames(p$interaction[keys], paste0(keys, "_int")))
  }))
  expect_identical(as.matrix(x$pairwise[colnames(from_json)]),
                   matrix(unlist(from_json), nrow(from_json)), ignore_attr = TRUE)
  expect_identical(paste(x$pairwise$level1, x$pairwise$level2),
                   vapply(json$pairwise, function(p) paste(p$levels, collapse = " "), ""))
  for (row in c("XA", "XB")) {
    expect_identical(unlist(x$effects[row, ]), unlist(json$effects[[row]]), ignore_attr = TRUE)
  }
  cli <- readLines(cli_file("regions_blocks", ".out"))
  shown <- capture.output(print(x))
  expect_identical(shown, cli[grep("^Levels for first factor", cli):max(grep(".", cli))])
  expect_null(run_example("demo")$interaction)
  # No pairs to compare: the same columns, no rows.
  one <- tevrol(data.frame(A = "p", B = "x", L = c("a", "b", "a")), nperm = 100, seed = -1,
                pairwise = TRUE)
  expect_identical(names(one$pairwise), names(x$pairwise)[!grepl("_int$", names(x$pairwise))])
  expect_identical(nrow(one$pairwise), 0L)
})

test_that("print() shows the command line's report from the levels to the last P value", {
  for (name in names(runs)) {
    cli <- readLines(cli_file(name, ".out"))
    first <- grep("^Levels for first factor", cli)
    last <- max(grep("^P value for", cli))
    expect_identical(capture.output(print(run_example(name))), cli[first:last])
  }
})

test_that("a data frame built in R gives the result of the same table read from a file", {
  path <- example_path("regions")
  from_file <- run_example("regions", keep_null = TRUE)
  # Factors whose levels are sorted otherwise than they appear, in a table
  # read by R's own reader: levels still come in order of first appearance.
  frame <- utils::read.delim(path, colClasses = "character", check.names = FALSE)
  frame[[1]] <- factor(frame[[1]], levels = rev(unique(frame[[1]])))
  frame[[2]] <- factor(frame[[2]])
  from_frame <- tevrol(frame, nperm = 1000, seed = -7, threads = 1, keep_null = TRUE)
  expect_identical(from_frame, from_file)
  expect_identical(from_file$levels$XA, c("north", "coast", "south"))

  # One text in two encodings is one allele.
  utf8 <- tevrol_read(example_path("demo"))
  utf8$L1[utf8$L1 == "1"] <- "\u00e9"
  mixed <- utf8
  mixed$L1[1] <- iconv(mixed$L1[1], "UTF-8", "latin1")
  expect_identical(Encoding(mixed$L1[1]), "latin1")
  expect_identical(tevrol(mixed, nperm = 100, seed = -1)$anova, tevrol(utf8, nperm = 100, seed = -1)$anova)

  # Bytes that are no UTF-8 pass through whole: "\xe1" and "<e1>" stay apart.
  path <- tempfile()
  writeBin(charToRaw(paste0("pop\tp\tL\n", strrep("M\xe1laga\tx\t1\nM<e1>laga\ty\t2\n", 3))), path)
  latin1 <- tevrol(tevrol_read(path), nperm = 100, seed = -1)
  expect_identical(dim(latin1$sample_sizes), c(2L, 2L))
  expect_identical(charToRaw(latin1$levels$XA[1]), charToRaw("M\xe1laga"))
})

test_that("the null distributions agree with the tests and can be plotted", {
  x <- run_example("demo", keep_null = TRUE)
  expect_identical(nrow(x$null), 3L * 100L)
  for (f in c("XA", "XB")) {
    null <- split(x$null[[paste0("F_", f)]], x$null$type)
    extreme <- vapply(null, function(v) sum(!(x$anova[f, "F"] > v)), 0)
    expect_equal(x$tests$extreme[x$tests$factor == f], unname(extreme))
  }
  grDevices::pdf(NULL)
  on.exit(grDevices::dev.off())
  expect_invisible(plot(x))
  expect_error(plot(run_example("demo")), "keep_null = TRUE")
})

test_that("errors are R errors with the command line's messages", {
  demo <- tevrol_read(example_path("demo"))
  expect_error(tevrol_read(file.path(tempdir(), "missing.txt")),
               "^Could not open file \\(.*missing.txt: No such file or directory\\)$")
  expect_error(tevrol(demo, nperm = 99), "^Must have at least 100 permutations$")
  expect_error(tevrol(demo, nperm = 1e9), "^Must have at most 715827882 permutations$")
  expect_error(tevrol(demo, seed = 5), "^Random must be seeded with a negative integer$")
  expect_error(tevrol(demo[1:2]), "^File must have at least three columns", )
  expect_error(tevrol(demo[0, ]), "^File has no data rows$")
  with_na <- demo
  with_na$period[3] <- NA
  expect_error(tevrol(with_na), "Column 'period' has a missing value \\(row 3\\)")
  csv <- tempfile()
  writeLines(c("pop,period,L1", "p,x,1", "q,y,2"), csv)
  expect_error(tevrol_read(csv), "^File must have at least three columns")
  expect_error(tevrol(demo, max_missing = 2), "^max_missing must be a number from 0 to 1$")
  expect_error(tevrol(transform(demo, L1 = 1)), "Column 'L1' must be character or factor")
  expect_error(tevrol(demo, nperm = 100.5), "nperm must be a whole number")
  expect_error(tevrol(demo, threads = 0), "threads must be a whole number from 1 to 256")
  expect_error(tevrol(unname(demo)), "columns must have names")
  # Out-of-range seeds are clamped to 32 bits, as on the command line.
  expect_identical(tevrol(demo, nperm = 100, seed = -2^31 - 1)$seed, -2^31)
  # A gzip member followed by plain text is damaged, not a shorter table.
  mixed <- tempfile(fileext = ".gz")
  lines <- readLines(example_path("demo"))
  con <- gzfile(mixed, "wb")
  writeLines(lines[1:3], con)
  close(con)
  cat(lines[-(1:3)], file = mixed, sep = "\n", append = TRUE)
  expect_error(tevrol_read(mixed), "^Could not read file: the compressed data is damaged or incomplete$")
})

test_that("missing values and alignments give the command line's results", {
  # NA in a locus is the missing value a file names with `missing`.
  demo <- tevrol_read(example_path("demo"))
  marked <- demo
  marked$L2[3] <- "?"
  path <- tempfile()
  utils::write.table(marked, path, sep = "\t", quote = FALSE, row.names = FALSE)
  from_file <- tevrol_read(path, missing = "?")
  expect_true(is.na(from_file$L2[3]))
  with_na <- demo
  with_na$L2[3] <- NA
  expect_identical(tevrol(from_file, nperm = 100, seed = -1), tevrol(with_na, nperm = 100, seed = -1))
  expect_identical(tevrol(marked, nperm = 100, seed = -1, missing = "?"),
                   tevrol(with_na, nperm = 100, seed = -1))

  fasta <- system.file("extdata", "alignment.fasta", package = "tevrol")
  sheet <- system.file("extdata", "samples.tsv", package = "tevrol")
  notes <- capture_messages(mt <- tevrol_read(fasta, samples = sheet, factors = c("region", "period")))
  expect_length(notes, 2L)
  expect_match(notes[1], "^3 of the 40 sequences .* have no row in .*: mt38, mt39, mt40")
  expect_match(notes[2], "^1 of the 38 rows .*: mt99")
  x <- tevrol(mt, nperm = 999, seed = -1)
  cli <- readLines(cli_file("alignment", ".out"))
  first <- grep("^Levels for first factor", cli)
  last <- max(grep("^P value for", cli))
  expect_identical(capture.output(print(x)), cli[first:last])

  vcf <- system.file("extdata", "variants.vcf", package = "tevrol")
  calls <- suppressMessages(tevrol_read(vcf, system.file("extdata", "variant_samples.tsv",
                                                         package = "tevrol")))
  expect_identical(calls[["1:12865"]][1:3], c("0/0", "0/1", "0/1"))
  cli <- readLines(cli_file("variants", ".out"))
  expect_identical(capture.output(print(tevrol(calls, nperm = 999, seed = -1))),
                   cli[grep("^Levels for first factor", cli):max(grep("^P value for", cli))])

  # The sums of squares from distances counted by their definition: the sites
  # where both sequences hold A, C, G or T and the two differ.
  lines <- readLines(fasta)
  header <- grepl("^>", lines)
  names <- sub("^>(\\S+).*", "\\1", lines[header])
  sequences <- vapply(split(lines[!header], cumsum(header)[!header]), paste, "", collapse = "")
  rows <- utils::read.delim(sheet, colClasses = "character")
  kept <- names %in% rows$sample
  bases <- do.call(rbind, strsplit(gsub("U", "T", toupper(sequences[kept])), ""))
  read <- bases %in% c("A", "C", "G", "T")
  dim(read) <- dim(bases)
  n <- nrow(bases)
  d <- matrix(0, n, n)
  for (i in seq_len(n)) for (j in seq_len(n)) d[i, j] <- sum(read[i, ] & read[j, ] & bases[i, ] != bases[j, ])
  cell <- paste(rows$region, rows$period)[match(names[kept], rows$sample)]
  within <- sum(vapply(split(seq_len(n), cell), function(k) sum(d[k, k]) / (2 * length(k)), 0))
  expect_equal(x$anova["Total", "seq_ss"], sum(d) / (2 * n))
  expect_equal(x$anova["Error", "seq_ss"], within)
})
