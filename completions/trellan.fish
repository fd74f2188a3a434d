# fish completion for trellan(1): commands, their options, files where a
# command takes files, and the query fields of 'trellan search'.

set -l commands dump index search list register unregister reg script

complete -c trellan -f
complete -c trellan -l registry -r -F -d 'the registry database'
complete -c trellan -s h -l help -d 'print help and exit'
complete -c trellan -n "not __fish_seen_subcommand_from $commands" -l version -d 'print the version and exit'

complete -c trellan -n "not __fish_seen_subcommand_from $commands" -a dump -d 'filter files and print their chunks'
complete -c trellan -n "not __fish_seen_subcommand_from $commands" -a index -d 'filter a library into a full-text index'
complete -c trellan -n "not __fish_seen_subcommand_from $commands" -a search -d 'search the index'
complete -c trellan -n "not __fish_seen_subcommand_from $commands" -a list -d 'list artists, albums, genres, years or composers'
complete -c trellan -n "not __fish_seen_subcommand_from $commands" -a register -d 'register a filter module'
complete -c trellan -n "not __fish_seen_subcommand_from $commands" -a unregister -d 'unregister a filter module'
complete -c trellan -n "not __fish_seen_subcommand_from $commands" -a reg -d 'export or import the registry'
complete -c trellan -n "not __fish_seen_subcommand_from $commands" -a script -d 'run a registry script'

# Files, where a command takes them.
complete -c trellan -n "__fish_seen_subcommand_from dump index register unregister export import run" -F

for command in dump index
    complete -c trellan -n "__fish_seen_subcommand_from $command" -s j -l jobs -x -d 'filter N files at once'
    complete -c trellan -n "__fish_seen_subcommand_from $command" -l files-from -r -F -d 'also the files listed in FILE'
    complete -c trellan -n "__fish_seen_subcommand_from $command" -s 0 -l null -d 'lists are NUL-separated'
    complete -c trellan -n "__fish_seen_subcommand_from $command" -s q -l quiet -d 'no progress or summary'
    complete -c trellan -n "__fish_seen_subcommand_from $command" -s v -l verbose -d 'say more'
end
complete -c trellan -n "__fish_seen_subcommand_from dump" -l json -d 'one JSON object a file'
complete -c trellan -n "__fish_seen_subcommand_from dump" -l all -d 'report files no filter is registered for'
complete -c trellan -n "__fish_seen_subcommand_from dump" -l module -r -F -d 'filter with this module'
complete -c trellan -n "__fish_seen_subcommand_from dump" -l buffer -x -d 'the GetText buffer'
complete -c trellan -n "__fish_seen_subcommand_from dump" -l bind -x -a 'stream path' -d 'bind the filter by stream or by path'
for command in index search list
    complete -c trellan -n "__fish_seen_subcommand_from $command" -l db -r -F -d 'the index: a SQLite file or a PostgreSQL URI'
end
complete -c trellan -n "__fish_seen_subcommand_from index" -l batch -x -d 'commit every N files'
complete -c trellan -n "__fish_seen_subcommand_from index" -l watch -d 'keep indexing changes'
complete -c trellan -n "__fish_seen_subcommand_from index" -l rescan -x -d 'rescan period'
complete -c trellan -n "__fish_seen_subcommand_from index" -l forget -r -F -d 'drop a path'
complete -c trellan -n "__fish_seen_subcommand_from index" -l exclude -x -d 'leave out what a glob matches'
complete -c trellan -n "__fish_seen_subcommand_from index" -l forget-exclude -x -d 'index again what a glob left out'
complete -c trellan -n "__fish_seen_subcommand_from index" -l hidden -d 'index hidden folders too'
complete -c trellan -n "__fish_seen_subcommand_from index" -l rebuild -d 'build the index anew'
complete -c trellan -n "__fish_seen_subcommand_from dump index" -l filter-timeout -x -d 'end a filter that takes longer on one file (seconds)'
complete -c trellan -n "__fish_seen_subcommand_from dump index" -l filter-memory -x -d 'the memory a filter may take (MiB)'
complete -c trellan -n "__fish_seen_subcommand_from index" -l status -d 'what the index holds'
complete -c trellan -n "__fish_seen_subcommand_from search" -l json -d 'one JSON object a hit'
complete -c trellan -n "__fish_seen_subcommand_from search" -s n -l limit -x -d 'at most N hits'
complete -c trellan -n "__fish_seen_subcommand_from search" -l sort -x -a 'rank title artist album year path modified' -d 'the order of hits'
complete -c trellan -n "__fish_seen_subcommand_from search" -s l -l paths -d 'paths alone'
complete -c trellan -n "__fish_seen_subcommand_from search" -s 0 -l null -d 'paths alone, NUL-separated'
complete -c trellan -n "__fish_seen_subcommand_from search" -l format -x -d 'print each hit by a template'
complete -c trellan -n "__fish_seen_subcommand_from search" -l color -x -a 'auto always never' -d 'highlight the matches'
complete -c trellan -n "__fish_seen_subcommand_from search list" -a 'title: author: artist: comments: body: album: albumartist: genre: composer: name: year: track: disc: tag: path: dir: ext:' -d 'query field'
complete -c trellan -n "__fish_seen_subcommand_from list; and not __fish_seen_subcommand_from artists albums genres years composers" -a 'artists albums genres years composers' -d 'what to list'
complete -c trellan -n "__fish_seen_subcommand_from list" -l json -d 'one JSON object a value'
complete -c trellan -n "__fish_seen_subcommand_from reg; and not __fish_seen_subcommand_from export import" -a 'export import'
complete -c trellan -n "__fish_seen_subcommand_from script; and not __fish_seen_subcommand_from run" -a run
complete -c trellan -n "__fish_seen_subcommand_from run" -l unregister -d 'unregister instead'
complete -c trellan -n "__fish_seen_subcommand_from run" -l set -x -d 'a replacement NAME=VALUE'
