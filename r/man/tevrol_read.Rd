\name{tevrol_read}
\alias{tevrol_read}
\title{Read a table of individuals}
\description{
Reads a tab-separated table exactly as the \command{tevrol} command line
does: one header line, then one line per individual (a level of the first
factor, a level of the second factor, then one text per locus). Fields are
separated by TAB only; lines may end in LF, CR LF or CR; empty lines are
skipped; a short line leaves its last fields empty. Gzip-compressed files are
recognised by their content.
}
\usage{
tevrol_read(path)
}
\arguments{
  \item{path}{the file name; \code{"-"} reads standard input.}
}
\value{
A data frame of character columns named by the header, one row per
individual, every text kept as it is in the file.
}
\seealso{\code{\link{tevrol}}}
\examples{
demo <- tevrol_read(system.file("extdata", "demo.txt", package = "tevrol"))
str(demo)
}
