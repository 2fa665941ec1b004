"""The parts of package/make-repo: the package's control data, the repository's index, the
changelog, the screenshots and the depiction pages."""
