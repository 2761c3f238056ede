\name{tevrol_read}
\alias{tevrol_read}
\title{Read a table of individuals, or an alignment or a VCF with its sample sheet}
\description{
Reads a tab-separated table exactly as the \command{tevrol} command line
does: one header line, then one line per individual (a level of the first
factor, a level of the second factor, then one text per locus). Fields are
separated by TAB only; lines may end in LF, CR LF or CR; empty lines are
skipped; a short line leaves its last fields empty. Gzip-compressed files are
recognised by their content.

An aligned FASTA file (its first byte is \code{>}) is read with its sample
sheet, as the command line's \option{--samples} reads it: the individuals
are the sequences whose sample name (the first word of the header) has a row
in the sheet, in the order of the alignment; notes on sequences and rows left
out come as messages. Only the sites at which the individuals hold at least
two values apart from missing ones are returned.

A VCF or BCF file (plain, gzip or bgzip) is read with its sample sheet in the
same way: the individuals are the samples with a row, in the order of the
file, or with \code{haplotypes = TRUE} each of their haplotypes. Each record
is a locus, named \code{CHROM:POS}; a value is a genotype as an unordered set
of alleles (\code{"0/1"}), or a haplotype's allele (\code{"1"}); missing
and partly missing calls are \code{NA}. The command line's manual page and
README give the rules in full.
}
\usage{
tevrol_read(path, samples = NULL, factors = NULL, missing = NULL, max_missing = 1,
            haplotypes = FALSE, region = NULL)
}
\arguments{
  \item{path}{the file name; \code{"-"} reads standard input.}
  \item{samples}{for an alignment, its sample sheet: a tab-separated table
    with a header line and the sample names in its first column.}
  \item{factors}{two column names of the sheet that give the factors;
    \code{NULL}: its second and third columns.}
  \item{missing}{texts that are missing values (for an alignment, single
    characters). \code{NULL}: none in a table; every character but A, C, G and
    T in an alignment.}
  \item{max_missing}{loci whose share of missing values exceeds this (0 to 1)
    are left out.}
  \item{haplotypes}{for a VCF: each haplotype of a sample is an individual
    (an unphased call of different alleles is missing in each).}
  \item{region}{for an indexed VCF or BCF (\file{.tbi} or \file{.csi}):
    regions such as \code{"2:10000-20000"}; only the records whose position
    lies in one are read.}
}
\value{
A data frame of character columns named by the header (for an alignment:
the two factor columns of the sheet, then one column per site, named by its
position), one row per individual. Every text is kept as it is in the file,
but missing values, which are \code{NA}.
}
\seealso{\code{\link{tevrol}}}
\examples{
demo <- tevrol_read(system.file("extdata", "demo.txt", package = "tevrol"))
str(demo)
mt <- tevrol_read(system.file("extdata", "alignment.fasta", package = "tevrol"),
                  samples = system.file("extdata", "samples.tsv", package = "tevrol"),
                  factors = c("region", "period"))
dim(mt)
calls <- tevrol_read(system.file("extdata", "variants.vcf", package = "tevrol"),
                     samples = system.file("extdata", "variant_samples.tsv", package = "tevrol"))
dim(calls)
}
