"""How a typed caller uses the package; checked with `mypy --strict` by tests/python/test_cli.py."""

import os
import pathlib

import _tessmar
import tessmar
from collections.abc import Callable, Sequence
from tessmar.cli import main


def convert_text(text: str) -> list[str]:
    events: list[str] = tessmar.tenhou_to_mjai(text)
    return events


def convert_file(path: pathlib.Path, out: str | None) -> list[str]:
    return tessmar.tenhou_file_to_mjai(path, out)


def convert_bytes_path(path: bytes, out: os.PathLike[bytes]) -> int:
    return len(_tessmar.tenhou_file_to_mjai(path, mjai_out=out))


def first_event_or_reason(text: str) -> str:
    try:
        return tessmar.tenhou_to_mjai(data=text)[0]
    except tessmar.JsonParsingError as exc:
        return f"not a log: {exc}"
    except (tessmar.TenhouLogParsingError, tessmar.TenhouToMjaiError) as exc:
        return f"not convertible: {exc}"
    except tessmar.JsonSerializationError:
        return "cannot write"


def catch_all(text: str) -> list[str]:
    try:
        return tessmar.tenhou_to_mjai(text)
    except ValueError:  # every conversion error is a ValueError
        return []


same_class: type[ValueError] = tessmar.JsonParsingError
version: str = tessmar.__version__ + _tessmar.VERSION + _tessmar.__version__
command: Callable[[Sequence[str] | None], int] = main


def archive_game(xml: bytes, game_id: str) -> tuple[str, list[str]]:
    try:
        json_text: str = tessmar.mjlog_to_tenhou(xml, ref=game_id)
        return json_text, tessmar.mjlog_to_mjai(xml.decode("utf-8"), game_id)
    except tessmar.MjlogError as exc:
        return str(exc), []


def pipeline(sources: list[str], out: pathlib.Path) -> tuple[int, bytes]:
    import concurrent.futures

    outputs = [tessmar.convert(log.data, ref=log.ref, gzip=True) for log in tessmar.iter_logs(*sources, length="south")]
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        summary: tessmar.Summary = tessmar.convert_tree(sources, out, executor=pool, to="tenhou", max_size=1 << 20)
    try:
        tessmar.convert(b"{}", max_size=10)
    except tessmar.LogTooLarge:
        pass
    return summary.converted + summary.three_player, outputs[0]
