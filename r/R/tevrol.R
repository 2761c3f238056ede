# The R interface: checks and converts arguments, calls the C++ core, and
# shapes its answer in R's terms. Every computation happens in the core.

tevrol_read <- function(path, samples = NULL, factors = NULL, missing = NULL, max_missing = 1,
                        haplotypes = FALSE, region = NULL) {
  if (!is.character(path) || length(path) != 1L || is.na(path)) {
    stop("path must be one file name", call. = FALSE)
  }
  if (path != "-") path <- path.expand(path)
  if (!is.null(samples)) {
    if (!is.character(samples) || length(samples) != 1L || is.na(samples) || samples == "") {
      stop("samples must be one file name", call. = FALSE)
    }
    samples <- path.expand(samples)
  }
  if (!is.null(factors) && (!is.character(factors) || length(factors) != 2L || anyNA(factors))) {
    stop("factors must name two columns of the sample sheet", call. = FALSE)
  }
  missing_texts(missing)
  check_max_missing(max_missing)
  if (!is.logical(haplotypes) || length(haplotypes) != 1L || is.na(haplotypes)) {
    stop("haplotypes must be TRUE or FALSE", call. = FALSE)
  }
  if (!is.null(region) && (!is.character(region) || length(region) == 0L || anyNA(region) ||
                           any(region == ""))) {
    stop("region must be NULL or regions as CHR, CHR:POS or CHR:FROM-TO", call. = FALSE)
  }
  table <- read_input(path, if (is.null(samples)) "" else samples,
                      if (is.null(factors)) character() else factors,
                      !is.null(missing), if (is.null(missing)) character() else missing,
                      max_missing, haplotypes, if (is.null(region)) character() else region)
  for (note in table$notes) message(note)
  new_data_frame(lapply(table$columns, from_core), from_core(table$names))
}

tevrol <- function(data, nperm = 1000, seed = NULL, threads = NULL, keep_null = FALSE,
                   missing = NULL, max_missing = 1, interaction = FALSE, effects = FALSE,
                   pairwise = FALSE) {
  if (!is.data.frame(data)) stop("data must be a data frame", call. = FALSE)
  if (is.null(names(data)) || anyNA(names(data))) {
    stop("data's columns must have names: the first two name the factors", call. = FALSE)
  }
  columns <- Map(column_text, data, names(data), seq_along(data) <= 2L)
  nperm <- whole_number(nperm, "nperm")
  if (!is.null(seed)) {
    # Clamped to 32 bits as the command line clamps it; positive seeds reach
    # the core, which says why they are refused.
    seed <- min(max(whole_number(seed, "seed", "(0 or negative)"), -2147483648), 2147483647)
  }
  if (!is.null(threads)) threads <- whole_number(threads, "threads", "from 1 to 256", 1, 256)
  if (!is.logical(keep_null) || length(keep_null) != 1L || is.na(keep_null)) {
    stop("keep_null must be TRUE or FALSE", call. = FALSE)
  }
  for (flag in c("interaction", "effects", "pairwise")) {
    value <- get(flag)
    if (!is.logical(value) || length(value) != 1L || is.na(value)) {
      stop(flag, " must be TRUE or FALSE", call. = FALSE)
    }
  }
  missing_texts(missing)
  check_max_missing(max_missing)
  check_nperm(nperm)
  # Filled by the core, pass by pass.
  null_xa <- numeric(if (keep_null) 3 * nperm else 0)
  null_xb <- numeric(length(null_xa))
  core <- run_analysis(unname(columns), names(data), nperm, seed, threads,
                       if (is.null(missing)) character() else missing, max_missing,
                       null_xa, null_xb, interaction, effects, pairwise)
  new_result(core, if (keep_null) list(null_xa, null_xb))
}

print.tevrol <- function(x, ...) {
  # The command line's report from the level lines to the last P value.
  cat(sub("\n+$", "\n", x$report))
  invisible(x)
}

plot.tevrol <- function(x, ...) {
  if (is.null(x$null)) {
    stop("plot() needs the null distributions: run tevrol() with keep_null = TRUE", call. = FALSE)
  }
  old <- graphics::par(mfrow = c(2L, 3L))
  on.exit(graphics::par(old))
  permuted <- c("within levels of XB", "within levels of XA", "freely")
  for (factor in c("XA", "XB")) {
    observed <- x$anova[factor, "F"]
    for (type in 0:2) {
      values <- x$null[[paste0("F_", factor)]][x$null$type == type]
      values <- values[is.finite(values)]
      main <- sprintf("%s (%s), type %d", factor, x$factors[[factor]], type)
      if (length(values) == 0L) {
        graphics::plot.new()
        graphics::title(main = main, sub = "no finite F")
        next
      }
      limits <- range(values, if (is.finite(observed)) observed)
      graphics::hist(values, xlim = limits, main = main, xlab = paste("F, permuted", permuted[type + 1L]), ...)
      if (is.finite(observed)) graphics::abline(v = observed, col = "red", lwd = 2)
    }
  }
  invisible(x)
}

new_data_frame <- function(columns, names) {
  rows <- if (length(columns) > 0L) length(columns[[1L]]) else 0L
  structure(columns, names = names, class = "data.frame",
            row.names = if (rows > 0L) c(NA_integer_, -rows) else integer())
}

column_text <- function(x, name, factor) {
  if (is.factor(x)) x <- as.character(x)
  if (!is.character(x)) {
    stop(sprintf("Column '%s' must be character or factor, not %s", name, class(x)[1L]),
         call. = FALSE)
  }
  # NA in a locus is a missing value; a factor needs a level for everyone.
  if (factor && anyNA(x)) {
    stop(sprintf("Column '%s' has a missing value (row %d)", name, which(is.na(x))[1L]),
         call. = FALSE)
  }
  x
}

missing_texts <- function(missing) {
  if (!is.null(missing) && (!is.character(missing) || anyNA(missing))) {
    stop("missing must be a character vector of the texts that are missing values", call. = FALSE)
  }
}

check_max_missing <- function(max_missing) {
  ok <- is.numeric(max_missing) && length(max_missing) == 1L && !is.na(max_missing) &&
    max_missing >= 0 && max_missing <= 1
  if (!ok) stop("max_missing must be a number from 0 to 1", call. = FALSE)
}

# Texts from the core are bytes of the file or UTF-8 from R. In a locale that
# is not UTF-8, those that are valid UTF-8 are declared so, to show right.
from_core <- function(x) {
  if (length(x) > 0L && !isTRUE(l10n_info()[["UTF-8"]])) {
    Encoding(x) <- ifelse(validUTF8(x), "UTF-8", "unknown")
  }
  x
}

whole_number <- function(x, name, range = "", lowest = -Inf, highest = Inf) {
  ok <- is.numeric(x) && length(x) == 1L && is.finite(x) && x == round(x) &&
    x >= lowest && x <= highest
  if (!ok) stop(trimws(paste(name, "must be a whole number", range)), call. = FALSE)
  as.double(x)
}

new_result <- function(core, null_f) {
  factors <- from_core(c(XA = core$factors[[1L]], XB = core$factors[[2L]]))
  levels <- list(XA = from_core(core$levels[[1L]]), XB = from_core(core$levels[[2L]]))
  sizes <- matrix(core$sample_sizes, nrow = length(levels$XA), byrow = TRUE,
                  dimnames = structure(unname(levels), names = unname(factors)))
  a <- core$anova
  # Blank where the report leaves a blank.
  anova <- data.frame(df = a$df, seq_ss = a$seq_ss, adj_ss = c(a$adj_ss[1:3], NA),
                      ms = c(a$ms[1:3], NA), F = c(a$F[1:2], NA, NA), n = c(a$n[1:2], NA, NA),
                      var = a$var, row.names = c("XA", "XB", "Error", "Total"))
  tests <- data.frame(type = rep(0:2, each = 2L), factor = rep(c("XA", "XB"), 3L),
                      p = core$tests$p, se = core$tests$se, bound = core$tests$bound,
                      extreme = core$tests$extreme)
  e <- core$effects
  effects <- data.frame(r2_seq = e$r2_seq, r2_adj = e$r2_adj, var_percent = e$var_percent,
                        phi = e$phi, row.names = c("XA", "XB", "Error"))
  interaction <- NULL
  if (!is.null(core$interaction)) {
    i <- core$interaction
    # Blank where the report leaves a blank; the tests of XA, XB and XA:XB
    # are of types 0, 1 and 2.
    blank <- c(NA, NA)
    interaction <- data.frame(df = i$df, seq_ss = i$seq_ss, adj_ss = c(i$adj_ss[1:4], NA),
                              ms = c(i$ms[1:4], NA), F = c(i$F[1:3], blank),
                              r2_seq = i$r2_seq, r2_adj = c(i$r2_adj[1:4], NA),
                              type = c(0:2, blank), p = c(i$p, blank), se = c(i$se, blank),
                              bound = c(as.logical(i$bound), blank),
                              extreme = c(as.integer(i$extreme), blank),
                              row.names = c("XA", "XB", "XA:XB", "Residual", "Total"))
  }
  pairwise <- NULL
  if (!is.null(core$pairwise)) {
    p <- core$pairwise
    factor <- c("XA", "XB")[p$factor + 1]
    level <- function(code) {
      vapply(seq_along(code), function(k) levels[[factor[k]]][code[k] + 1], character(1))
    }
    pairwise <- data.frame(factor = factor, level1 = level(p$first), level2 = level(p$second),
                           type = as.integer(p$factor), individuals = as.integer(p$individuals),
                           F = p$F, r2 = p$r2, p = p$p, se = p$se, bound = as.logical(p$bound),
                           extreme = as.integer(p$extreme), p_holm = p$p_holm, p_bh = p$p_bh)
    if (!is.null(core$interaction)) {
      pairwise <- cbind(pairwise, data.frame(
        F_int = p$F_int, r2_int = p$r2_int, p_int = p$p_int, se_int = p$se_int,
        bound_int = as.logical(p$bound_int), extreme_int = as.integer(p$extreme_int),
        p_holm_int = p$p_holm_int, p_bh_int = p$p_bh_int))
    }
  }
  null <- NULL
  if (!is.null(null_f)) {
    null <- data.frame(type = rep(0:2, times = core$nperm),
                       permutation = rep(seq_len(core$nperm), each = 3L),
                       F_XA = null_f[[1L]], F_XB = null_f[[2L]])
  }
  structure(list(anova = anova, tests = tests, effects = effects, interaction = interaction,
                 pairwise = pairwise,
                 sample_sizes = sizes, levels = levels,
                 factors = factors, individuals = core$individuals, loci = core$loci,
                 nperm = core$nperm, seed = core$seed, null = null,
                 report = from_core(core$report)),
            class = "tevrol")
}
