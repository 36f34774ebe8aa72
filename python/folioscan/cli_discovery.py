"""Finding the PDFs of a folder given on the command line: by name, in sorted order,
below it too with --recursive, without following links to folders."""

from __future__ import annotations

import os

from .cli_failures import Failure, failure_from


def is_pdf_name(name: str) -> bool:
    return name.lower().endswith(".pdf")


def find_pdfs(folder: str, recursive: bool, failures: list[Failure]) -> list[str]:
    """Paths, relative to `folder` and sorted, of the PDF files in it (and below it
    with `recursive`). Folders that cannot be listed are added to `failures`.
    Links to folders are not followed, so a link cycle cannot trap the walk."""
    found: list[str] = []

    def walk(relative: str) -> None:
        here = os.path.join(folder, relative) if relative else folder
        try:
            with os.scandir(here) as listing:
                entries = sorted(listing, key=lambda entry: entry.name)
        except OSError as error:
            failures.append(failure_from(here, error))
            return
        for entry in entries:
            path = os.path.join(relative, entry.name) if relative else entry.name
            try:
                if entry.is_dir(follow_symlinks=False):
                    if recursive:
                        walk(path)
                elif is_pdf_name(entry.name) and entry.is_file():
                    found.append(path)
            except OSError as error:
                failures.append(failure_from(os.path.join(folder, path), error))

    walk("")
    return found
