\name{tevrol}
\alias{tevrol}
\alias{print.tevrol}
\alias{plot.tevrol}
\title{Distance-based two-way analysis of variance with permutation tests}
\description{
Computes the distance-based two-way analysis of variance of individuals
classified by two crossed factors (XA and XB) and typed at any number of
loci, the distance between two individuals being the number of loci whose
texts differ, and tests both factors by three kinds of permutation: within
the levels of XB (type 0), within the levels of XA (type 1) and free
(type 2). The computation is the one of the \command{tevrol} command line:
the same data, \code{nperm} and \code{seed} give the same numbers, bit for
bit.
}
\usage{
tevrol(data, nperm = 1000, seed = NULL, threads = NULL, keep_null = FALSE,
       missing = NULL, max_missing = 1, interaction = FALSE, effects = FALSE,
       pairwise = FALSE)

\method{print}{tevrol}(x, ...)

\method{plot}{tevrol}(x, ...)
}
\arguments{
  \item{data}{a data frame: the first column is factor XA, the second
    factor XB, every further column a locus. Columns are character or
    factor (a factor is taken as its text). \code{NA} in a locus is a
    missing value, which differs from no other value: the distance of two
    individuals counts the loci where both have a value and the values
    differ. \code{NA} in a factor is an error.
    A text declared latin1 counts as its UTF-8 form; other texts count by
    their bytes, as in a file.
    Levels are numbered in order of first appearance, as in a file.}
  \item{nperm}{permutations of each type, from 100 to 715827882.}
  \item{seed}{0 or a negative whole number seeding the generator; \code{NULL}
    takes it from the clock (the seconds since 1970), as the command line
    does, so that calls within one second share a seed and their
    permutations. Repeated runs, as in a simulation, should give their own
    seeds, for instance \code{seed = -sample.int(2147483647, 1)}, which
    \code{set.seed()} then makes reproducible.}
  \item{threads}{at most this many threads (1 to 256); \code{NULL}: every
    hardware thread, or the environment variable \env{TEVROL_THREADS}. The
    result does not depend on it.}
  \item{keep_null}{whether to keep the F of every permutation.}
  \item{missing}{further texts of the loci that are missing values, as
    \option{--missing} names them on the command line.}
  \item{max_missing}{loci whose share of missing values exceeds this (0 to 1)
    are left out, as with \option{--max-missing}.}
  \item{interaction}{whether to compute the table with interaction and its
    permutation tests (\option{--interaction}); the report shows it.}
  \item{pairwise}{whether to compare every pair of levels of each factor
    (\option{--pairwise}); the report shows them.}
  \item{effects}{whether the report shows the effect sizes
    (\option{--effects}); the result holds them in any case.}
  \item{x}{a result of \code{tevrol()}.}
  \item{...}{for \code{plot}, passed on to \code{\link[graphics]{hist}}.}
}
\value{
A list of class \code{"tevrol"}:
  \item{anova}{a data frame with rows XA, XB, Error and Total and columns
    \code{df}, \code{seq_ss}, \code{adj_ss}, \code{ms}, \code{F}, \code{n} and
    \code{var}, at full precision; \code{NA} where the report leaves a
    blank.}
  \item{tests}{a data frame with one row per permutation type and factor:
    \code{type} (0, 1, 2), \code{factor} ("XA", "XB"), the P value \code{p},
    its standard error \code{se}, \code{bound} (TRUE when no permutation
    reached the observed F, so that \code{p} is the bound 1 / nperm) and
    \code{extreme}, the permutations whose F was not below the observed
    F.}
  \item{effects}{a data frame with rows XA, XB and Error: \code{r2_seq} and
    \code{r2_adj} (Seq SS and Adj SS over Total SS), \code{var_percent}
    (the variance component as a percentage of the total variance) and
    \code{phi} (the same as a fraction, negative when the factor's MS is
    below Error's); \code{NA} where there is none.}
  \item{interaction}{with \code{interaction = TRUE}, a data frame with rows
    XA, XB, XA:XB, Residual and Total: \code{df}, \code{seq_ss}, \code{adj_ss},
    \code{ms}, \code{F}, \code{r2_seq}, \code{r2_adj}, and for the first three
    rows their tests: \code{type} (0 for XA, 1 for XB, 2 for XA:XB), \code{p},
    \code{se}, \code{bound} and \code{extreme} as in \code{tests}; else
    \code{NULL}.}
  \item{pairwise}{with \code{pairwise = TRUE}, a data frame with one row per
    pair of levels, XA's first: \code{factor}, \code{level1}, \code{level2},
    \code{type} (the permutations: 0 for XA, 1 for XB), \code{individuals},
    the factor's \code{F} and \code{r2} (Adj SS over Total SS) in the pair's
    analysis, \code{p}, \code{se}, \code{bound}, \code{extreme}, and
    \code{p_holm} and \code{p_bh}, adjusted over the pairs of the factor;
    with \code{interaction = TRUE} the same of the pair's table with
    interaction, named with \code{_int}; else \code{NULL}.}
  \item{sample_sizes}{an integer matrix of individuals per cell, its
    dimensions named by the factors and their levels.}
  \item{levels}{a list of the levels of XA and XB, in order of first
    appearance.}
  \item{factors}{the names of XA and XB (the first two column names).}
  \item{individuals, loci}{the size of the table.}
  \item{nperm, seed}{as used; \code{seed} also when taken from the clock.}
  \item{null}{with \code{keep_null = TRUE}, a data frame of every
    permutation in the order drawn: \code{type}, \code{permutation} (1 to
    nperm within its type), \code{F_XA} and \code{F_XB}; else \code{NULL}.}
  \item{report}{the text of the report.}
\code{print()} shows the report of the command line from the levels to the
last P value, and the blocks asked for after it. \code{plot()} draws the null distribution of F for each
factor and permutation type, the observed F marked in red; it needs
\code{keep_null = TRUE}.
}
\seealso{\code{\link{tevrol_read}}}
\examples{
demo <- tevrol_read(system.file("extdata", "demo.txt", package = "tevrol"))
x <- tevrol(demo, nperm = 100, seed = -1, keep_null = TRUE)
x
x$tests
plot(x)
}
