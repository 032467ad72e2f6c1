# bash completion for mandel-explorer and mandel-render            -*- shell-script -*-
# Installed once under each program's name, so bash-completion finds it for either.
# Each program's options are listed here, in its --help and in its man page;
# a test keeps the three lists equal.

_mandel_explorer()
{
    local cur prev words cword
    _init_completion || return

    case $prev in
        --location-file)
            _filedir '@(png|txt)'
            return
            ;;
        --seed | --location)
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--seed --location --location-file --help --version' -- "$cur"))
    fi
} &&
    complete -F _mandel_explorer mandel-explorer

_mandel_render()
{
    local cur prev words cword
    _init_completion || return

    case $prev in
        --mode)
            COMPREPLY=($(compgen -W '1 2 3 4 5 6 7 8 9' -- "$cur"))
            return
            ;;
        --out)
            _filedir '@(png|bmp)'
            return
            ;;
        --video)
            _filedir mp4
            return
            ;;
        --frames | --keyframes | --assemble)
            _filedir -d
            return
            ;;
        --location-file)
            _filedir '@(png|txt)'
            return
            ;;
        --format)
            COMPREPLY=($(compgen -W 'png bmp' -- "$cur"))
            return
            ;;
        --size)
            COMPREPLY=($(compgen -W '1920x1080 3840x2160 7680x4320 8192x8192 16384x16384' -- "$cur"))
            return
            ;;
        --palette)
            COMPREPLY=($(compgen -W 'list classic fire ice grey contrast sunset ocean forest spectrum copper' -- "$cur"))
            return
            ;;
        --shading)
            COMPREPLY=($(compgen -W 'none distance slopes' -- "$cur"))
            return
            ;;
        --samples)
            COMPREPLY=($(compgen -W '1 2 3 4 5 6 7 8' -- "$cur"))
            return
            ;;
        --seed | --location | --fn | --moduli | --click | --repeat | --centre | --zoom | --iterations | --stops | \
            --density | --offset | --from | --fps | --seconds | --rate | --keyframe-range | --threads)
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--seed --location --location-file --fn --mode --moduli --click
            --out --format --size --quiet --repeat --reference --deep --centre --zoom --iterations --palette
            --stops --density --offset --shading --samples --video --from --fps --seconds --rate --exact-frames
            --frames --keyframes --keyframe-range --keyframe-count --assemble --threads --help --version' -- "$cur"))
    fi
} &&
    complete -F _mandel_render mandel-render

# ex: filetype=sh
